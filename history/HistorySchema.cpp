#include "history/HistorySchema.h"

#include "history/HistoryColumns.h"

#include <sqlite3.h>

namespace {

constexpr char SCHEMA_1[] = R"(CREATE TABLE IF NOT EXISTS updates (
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

// The listing reads newest first (started_utc, then id, which every index ends with); the
// start of a program looks for running records of its host.
constexpr char SCHEMA_2[] = R"(
ALTER TABLE updates ADD COLUMN confirmed_utc TEXT NOT NULL DEFAULT '';
ALTER TABLE updates ADD COLUMN utility_version TEXT NOT NULL DEFAULT '';
ALTER TABLE updates ADD COLUMN run_id TEXT NOT NULL DEFAULT '';
CREATE INDEX updates_by_start ON updates (started_utc);
CREATE INDEX updates_running ON updates (host) WHERE state = 'running';)";

// The columns version 1 lacks, as their upgrade fills them.
constexpr const char* ADDED_IN_2[] = {"confirmed_utc", "utility_version", "run_id"};

} // namespace

bool UpgradeSchema(sqlite3* connection, int from) {
    const std::string setVersion =
        "PRAGMA user_version = " + std::to_string(HISTORY_SCHEMA_VERSION);
    const std::string steps =
        std::string(from < 1 ? SCHEMA_1 : "") + (from < 2 ? SCHEMA_2 : "") + ";" + setVersion;
    return sqlite3_exec(connection, steps.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
}

std::string SelectList(int version) {
    std::string list = "id, " + std::string(HISTORY_COLUMNS);
    if (version >= 2)
        return list;
    for (const char* column : ADDED_IN_2) {
        const std::size_t at = list.find(column);
        list.replace(at, std::string(column).size(), std::string("'' AS ") + column);
    }
    return list;
}

std::string ListingQuery(int version, bool bySerial) {
    return "SELECT " + SelectList(version) + " FROM updates" +
           (bySerial ? " WHERE serial_number LIKE ?1 ESCAPE '\\'" : "") +
           " ORDER BY started_utc DESC, id DESC LIMIT ?2";
}
