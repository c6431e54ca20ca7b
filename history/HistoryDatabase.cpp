#include "history/HistoryDatabase.h"

#include "history/ProcessIdentity.h"

#include <chrono>
#include <filesystem>
#include <memory>
#include <mutex>
#include <sqlite3.h>
#include <thread>

namespace {

// Long enough for a fleet's threads and a second program to take turns at a commit.
constexpr int BUSY_TIMEOUT_MS = 10000;
constexpr int PREPARE_ATTEMPTS = 50;

constexpr char CREATE_TABLE[] = R"(CREATE TABLE IF NOT EXISTS updates (
    id INTEGER PRIMARY KEY,
    started_utc TEXT NOT NULL, ended_utc TEXT NOT NULL,
    host TEXT NOT NULL, user_name TEXT NOT NULL, front_end TEXT NOT NULL,
    process_id INTEGER NOT NULL, process_start INTEGER NOT NULL, boot_id TEXT NOT NULL,
    resource_name TEXT NOT NULL, serial_number TEXT NOT NULL,
    file_path TEXT NOT NULL, file_size INTEGER NOT NULL, file_sha256 TEXT NOT NULL,
    file_model TEXT NOT NULL, file_revision TEXT NOT NULL,
    instrument_revision TEXT NOT NULL, segments_flashed TEXT NOT NULL,
    segments_held TEXT NOT NULL, state TEXT NOT NULL,
    status_code INTEGER, status_text TEXT NOT NULL, duration_ms INTEGER NOT NULL);
CREATE INDEX IF NOT EXISTS updates_by_serial ON updates (serial_number);)";

// Every column but id, in the order Bind and Fetch use them.
constexpr char COLUMNS[] =
    "started_utc, ended_utc, host, user_name, front_end, process_id, process_start, boot_id, "
    "resource_name, serial_number, file_path, file_size, file_sha256, file_model, "
    "file_revision, instrument_revision, segments_flashed, segments_held, state, "
    "status_code, status_text, duration_ms";
constexpr int COLUMN_COUNT = 22;

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;

std::string Placeholders(int count, bool assignments) {
    std::string text;
    std::string columns = COLUMNS;
    for (int index = 1; index <= count; ++index) {
        if (assignments) {
            const std::size_t end = columns.find(',');
            text += columns.substr(0, end) + " = ";
            columns = end == std::string::npos ? "" : columns.substr(end + 2);
        }
        text += "?" + std::to_string(index) + (index < count ? ", " : "");
    }
    return text;
}

void Bind(sqlite3_stmt* statement, const HistoryRecord& record) {
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
}

HistoryRecord Fetch(sqlite3_stmt* statement) {
    HistoryRecord record;
    int index = 0;
    auto text = [&]() {
        const unsigned char* value = sqlite3_column_text(statement, index++);
        return value != nullptr ? std::string(reinterpret_cast<const char*>(value)) : "";
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
    return record;
}

bool IsInterrupted(const HistoryRecord& record) {
    return record.state == "running" && !IsStillRunning({record.host, record.user, record.processId,
                                                         record.processStart, record.bootId});
}

// LIKE with the prefix taken literally.
std::string LikePattern(std::string_view prefix) {
    std::string pattern;
    for (char c : prefix) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

} // namespace

HistoryDatabase::~HistoryDatabase() {
    sqlite3_close_v2(connection_);
}

std::string HistoryDatabase::Failure(std::string_view what) const {
    const char* reason = connection_ != nullptr ? sqlite3_errmsg(connection_) : "out of memory";
    return "update history " + path_ + ": " + std::string(what) + ": " + reason;
}

bool HistoryDatabase::Execute(const char* sql, std::string& error) {
    if (sqlite3_exec(connection_, sql, nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    error = Failure("cannot be written");
    return false;
}

bool HistoryDatabase::SchemaVersion(int& version, std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, "PRAGMA user_version", -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be read");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        error = Failure("cannot be read");
        return false;
    }
    version = sqlite3_column_int(raw, 0);
    if (version > SCHEMA_VERSION) {
        error = "update history " + path_ + ": schema version " + std::to_string(version) +
                " is newer than version " + std::to_string(SCHEMA_VERSION) +
                " that this program knows; the file is left as it is";
        return false;
    }
    return true;
}

// The table is made inside one write transaction, after the version is read again, so two
// programs that find a new file at the same moment make it once.
bool HistoryDatabase::PrepareSchema(std::string& error) {
    int version = 0;
    if (!SchemaVersion(version, error))
        return false;
    if (!Execute("PRAGMA journal_mode = WAL", error))
        return false;
    if (version == SCHEMA_VERSION)
        return true;
    if (!Execute("BEGIN IMMEDIATE", error))
        return false;
    if (!SchemaVersion(version, error)) {
        Execute("ROLLBACK", error);
        return false;
    }
    const std::string setVersion = "PRAGMA user_version = " + std::to_string(SCHEMA_VERSION);
    if (version == 0 && (!Execute(CREATE_TABLE, error) || !Execute(setVersion.c_str(), error))) {
        std::string ignored;
        Execute("ROLLBACK", ignored);
        return false;
    }
    return Execute("COMMIT", error);
}

// The instruments of a fleet open a new history at the same moment; switching a new file to
// WAL can then be refused as busy without the busy handler being asked. One thread of this
// process prepares at a time, and a busy refusal (another program doing the same) is tried
// again for up to about a second.
bool HistoryDatabase::PrepareSchemaOnce(std::string& error) {
    static std::mutex preparing;
    const std::lock_guard hold(preparing);
    for (int attempt = 0;; ++attempt) {
        if (PrepareSchema(error))
            return true;
        const int code = sqlite3_errcode(connection_) & 0xff;
        if ((code != SQLITE_BUSY && code != SQLITE_LOCKED) || attempt == PREPARE_ATTEMPTS)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

bool HistoryDatabase::Open(const std::string& path, Access access, std::string& error) {
    path_ = path;
    int flags = SQLITE_OPEN_READONLY;
    if (access == Access::Write) {
        flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE;
        std::error_code ignored;
        const std::filesystem::path folder = std::filesystem::path(path).parent_path();
        if (!folder.empty())
            std::filesystem::create_directories(folder, ignored);
    }
    if (sqlite3_open_v2(path.c_str(), &connection_, flags | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        error = Failure("cannot be opened");
        return false;
    }
    sqlite3_busy_timeout(connection_, BUSY_TIMEOUT_MS);
    if (access == Access::Write)
        return PrepareSchemaOnce(error) && Execute("PRAGMA synchronous = FULL", error);
    int version = 0;
    return SchemaVersion(version, error);
}

// Binds every column of record, and id as the parameter after them (the WHERE of an
// UPDATE; an INSERT has no such parameter, and binding it is then a harmless no-op).
bool HistoryDatabase::WriteRecord(const std::string& sql, const HistoryRecord& record,
                                  std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be written");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    Bind(raw, record);
    sqlite3_bind_int64(raw, COLUMN_COUNT + 1, record.id);
    if (sqlite3_step(raw) != SQLITE_DONE) {
        error = Failure("cannot be written");
        return false;
    }
    return true;
}

bool HistoryDatabase::Insert(HistoryRecord& record, std::string& error) {
    if (!WriteRecord(std::string("INSERT INTO updates (") + COLUMNS + ") VALUES (" +
                         Placeholders(COLUMN_COUNT, false) + ")",
                     record, error))
        return false;
    record.id = sqlite3_last_insert_rowid(connection_);
    return true;
}

// In WAL mode, FULL waits for the disk at every commit; NORMAL only at checkpoints, and a
// later FULL commit makes the commits before it durable too.
bool HistoryDatabase::UseCommit(Commit commit, std::string& error) {
    if (commit == commit_)
        return true;
    commit_ = commit;
    return Execute(commit == Commit::Durable ? "PRAGMA synchronous = FULL"
                                             : "PRAGMA synchronous = NORMAL",
                   error);
}

bool HistoryDatabase::Update(const HistoryRecord& record, std::string& error, Commit commit) {
    if (!UseCommit(commit, error))
        return false;
    return WriteRecord("UPDATE updates SET " + Placeholders(COLUMN_COUNT, true) + " WHERE id = ?" +
                           std::to_string(COLUMN_COUNT + 1),
                       record, error);
}

bool HistoryDatabase::Read(std::string_view serialPrefix, int limit,
                           std::vector<HistoryRecord>& records, std::string& error) {
    const std::string sql = std::string("SELECT id, ") + COLUMNS +
                            " FROM updates WHERE serial_number LIKE ?1 ESCAPE '\\'"
                            " ORDER BY started_utc DESC, id DESC LIMIT ?2";
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be read");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    const std::string pattern = LikePattern(serialPrefix);
    sqlite3_bind_text(raw, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(raw, 2, limit > 0 ? limit : -1);
    records.clear();
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
        records.push_back(Fetch(raw));
        if (IsInterrupted(records.back()))
            records.back().state = "interrupted";
    }
    if (step != SQLITE_DONE) {
        error = Failure("cannot be read");
        return false;
    }
    return true;
}
