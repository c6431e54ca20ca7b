#pragma once

#include "history/HistoryRecord.h"

#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// The update history file: an SQLite database in WAL mode with a busy time-out, so that
// the window, terminal runs and a fleet's threads can write at once. One object is one
// connection; use one per thread. The schema carries its version in the file, and a file
// of a newer schema is refused and left as it is.
class HistoryDatabase {
public:
    enum class Access { Write, Read };
    static constexpr int SCHEMA_VERSION = 1;

    HistoryDatabase() = default;
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // Write creates the file, its folder and its table when missing; Read needs an existing
    // file. On failure returns false with a one-line reason naming the file.
    bool Open(const std::string& path, Access access, std::string& error);

    // Adds record and commits it; sets its id.
    bool Insert(HistoryRecord& record, std::string& error);
    // Rewrites the record with record.id and commits it. A commit that is not durable
    // survives the program's crash but not a power cut before the next durable commit; it
    // saves the wait for the disk.
    enum class Commit { Durable, Quick };
    bool Update(const HistoryRecord& record, std::string& error, Commit commit = Commit::Durable);
    // Newest first, at most limit records (all when limit is 0), only serial numbers that
    // begin with serialPrefix (case-insensitive). Running records whose process is gone
    // come back as "interrupted".
    bool Read(std::string_view serialPrefix, int limit, std::vector<HistoryRecord>& records,
              std::string& error);

private:
    bool Execute(const char* sql, std::string& error);
    bool WriteRecord(const std::string& sql, const HistoryRecord& record, std::string& error);
    bool UseCommit(Commit commit, std::string& error);
    bool PrepareSchema(std::string& error);
    bool PrepareSchemaOnce(std::string& error);
    bool SchemaVersion(int& version, std::string& error);
    std::string Failure(std::string_view what) const;

    sqlite3* connection_ = nullptr;
    std::string path_;
    Commit commit_ = Commit::Durable;
};
