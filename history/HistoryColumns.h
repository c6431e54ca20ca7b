#pragma once

#include "history/HistoryRecord.h"

#include <string>

struct sqlite3_stmt;

// Every column of the history's table but id, in the order BindRecord and FetchRecord use.
inline constexpr char HISTORY_COLUMNS[] =
    "started_utc, ended_utc, host, user_name, front_end, process_id, process_start, boot_id, "
    "resource_name, serial_number, file_path, file_size, file_sha256, file_model, "
    "file_revision, instrument_revision, segments_flashed, segments_held, state, "
    "status_code, status_text, duration_ms, confirmed_utc, utility_version, run_id";
inline constexpr int HISTORY_COLUMN_COUNT = 25;

// "INSERT INTO updates (...) VALUES (?1, ...)" and "UPDATE updates SET ... WHERE id = ?26".
std::string InsertStatement();
std::string UpdateStatement();

// Binds every column of record to parameters 1 to HISTORY_COLUMN_COUNT, and its id after them.
void BindRecord(sqlite3_stmt* statement, const HistoryRecord& record);

// The record of a row selected as "id, " followed by HISTORY_COLUMNS.
HistoryRecord FetchRecord(sqlite3_stmt* statement);
