#pragma once

#include <string>

struct sqlite3;

// The layout of the history file. Version 1 was the first; version 2 added the confirmation
// time, the utility's version, the run id and the indexes of the listing and of the search
// for dead runs. A new file is made as version 1 and upgraded, so a new file and an upgraded
// one are the same.
inline constexpr int HISTORY_SCHEMA_VERSION = 2;

// Brings the schema from version `from` (0: no table yet) to today's. Runs inside the
// caller's write transaction, so an upgrade that fails leaves the file as it was.
bool UpgradeSchema(sqlite3* connection, int from);

// The SELECT list of every column in HistoryColumns order, for a file of version `version`:
// columns a version lacks read as empty.
std::string SelectList(int version);

// The listing, newest first: at most ?2 records (-1: all), with serial numbers that begin
// with the LIKE pattern ?1 when bySerial.
std::string ListingQuery(int version, bool bySerial);

// The running records of host ?1, as a program's start looks for dead ones.
inline constexpr char RUNNING_QUERY[] = "SELECT id, process_id, process_start, boot_id FROM updates"
                                        " WHERE state = 'running' AND host = ?1";
