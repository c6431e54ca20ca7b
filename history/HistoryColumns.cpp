#include "history/HistoryColumns.h"

#include <sqlite3.h>
#include <sstream>

namespace {

std::string Parameters(bool assignments) {
    std::istringstream columns(HISTORY_COLUMNS);
    std::string text;
    std::string column;
    for (int index = 1; std::getline(columns >> std::ws, column, ','); ++index) {
        if (assignments)
            text += column + " = ";
        text += "?" + std::to_string(index) + (index < HISTORY_COLUMN_COUNT ? ", " : "");
    }
    return text;
}

} // namespace

std::string InsertStatement() {
    return std::string("INSERT INTO updates (") + HISTORY_COLUMNS + ") VALUES (" +
           Parameters(false) + ")";
}

std::string UpdateStatement() {
    return "UPDATE updates SET " + Parameters(true) + " WHERE id = ?" +
           std::to_string(HISTORY_COLUMN_COUNT + 1);
}

void BindRecord(sqlite3_stmt* statement, const HistoryRecord& record) {
    int index = 0;
    auto text = [&](const std::string& value) {
        sqlite3_bind_text(statement, ++index, value.c_str(), static_cast<int>(value.size()),
                          SQLITE_TRANSIENT);
    };
    auto number = [&](std::int64_t value) { sqlite3_bind_int64(statement, ++index, value); };
    text(record.startedUtc);
    text(record.endedUtc);
    text(record.host);
    text(record.user);
    text(record.frontEnd);
    number(record.processId);
    number(record.processStart);
    text(record.bootId);
    text(record.resourceName);
    text(record.serialNumber);
    text(record.filePath);
    number(record.fileSize);
    text(record.fileSha256);
    text(record.fileModel);
    text(record.fileRevision);
    text(record.instrumentRevision);
    text(record.segmentsFlashed);
    text(record.segmentsHeld);
    text(record.state);
    if (record.statusCode)
        number(*record.statusCode);
    else
        sqlite3_bind_null(statement, ++index);
    text(record.statusText);
    number(record.durationMs);
    text(record.confirmedUtc);
    text(record.utilityVersion);
    text(record.runId);
    number(record.id);
}

HistoryRecord FetchRecord(sqlite3_stmt* statement) {
    HistoryRecord record;
    int index = 0;
    auto text = [&]() {
        const unsigned char* value = sqlite3_column_text(statement, index);
        const int size = sqlite3_column_bytes(statement, index++);
        return value != nullptr ? std::string(reinterpret_cast<const char*>(value),
                                              static_cast<std::size_t>(size))
                                : std::string();
    };
    auto number = [&]() { return sqlite3_column_int64(statement, index++); };
    record.id = number();
    record.startedUtc = text();
    record.endedUtc = text();
    record.host = text();
    record.user = text();
    record.frontEnd = text();
    record.processId = number();
    record.processStart = number();
    record.bootId = text();
    record.resourceName = text();
    record.serialNumber = text();
    record.filePath = text();
    record.fileSize = number();
    record.fileSha256 = text();
    record.fileModel = text();
    record.fileRevision = text();
    record.instrumentRevision = text();
    record.segmentsFlashed = text();
    record.segmentsHeld = text();
    record.state = text();
    if (sqlite3_column_type(statement, index) != SQLITE_NULL)
        record.statusCode = static_cast<int>(number());
    else
        ++index;
    record.statusText = text();
    record.durationMs = number();
    record.confirmedUtc = text();
    record.utilityVersion = text();
    record.runId = text();
    return record;
}
