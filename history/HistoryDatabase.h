#pragma once

#include "history/HistoryRecord.h"

#include <chrono>
#include <string>
#include <string_view>
#include <vector>

struct sqlite3;

// The update history file: an SQLite database with a busy wait that ends by a deadline. One
// object is one connection; use one per thread. On a local disk the file is written in WAL
// mode; on a network or FUSE file system, where WAL's shared memory is unsafe, with the
// rollback journal. The schema carries its version in the file; a file of schema 1 is
// upgraded in place, and a file of a newer schema is refused and left as it is.
class HistoryDatabase {
public:
    enum class Access { Write, Read };
    // A Quick commit survives the program's crash but not a power cut before the next
    // Durable commit; it saves the wait for the disk.
    enum class Commit { Durable, Quick };
    // How long opening, or one write, waits for another program's lock on the file.
    static constexpr std::chrono::milliseconds LOCK_WAIT{10000};

    explicit HistoryDatabase(std::chrono::milliseconds lockWait = LOCK_WAIT)
        : lockWait_(lockWait) {}
    ~HistoryDatabase();
    HistoryDatabase(const HistoryDatabase&) = delete;
    HistoryDatabase& operator=(const HistoryDatabase&) = delete;

    // Write creates the file, its folder and its table when missing, and upgrades an older
    // schema; Read needs an existing file and falls back to a read-only connection when the
    // file or its folder may not be written. On failure returns false with a one-line reason
    // naming the file.
    bool Open(const std::string& path, Access access, std::string& error);

    // Writes every record in one transaction: a record with id 0 is added and gets its id,
    // the others are rewritten.
    bool Save(const std::vector<HistoryRecord*>& records, Commit commit, std::string& error);
    bool Insert(HistoryRecord& record, std::string& error) {
        return Save({&record}, Commit::Durable, error);
    }
    // Newest first, at most limit records (all when limit is 0), only serial numbers that
    // begin with serialPrefix (case-insensitive). Running records whose process is gone
    // come back as "interrupted". A file without any table yet is an empty history.
    bool Read(std::string_view serialPrefix, int limit, std::vector<HistoryRecord>& records,
              std::string& error);
    // Writes "interrupted" into every running record of this host whose process is gone.
    bool RecordDeadRuns(std::string& error);

private:
    bool OpenConnection(const std::string& uri, int flags, std::string& error);
    bool OpenForReading(std::string& error);
    bool Execute(const std::string& sql, std::string& error);
    bool WriteRecord(HistoryRecord& record, std::string& error);
    bool UseCommit(Commit commit, std::string& error);
    bool PrepareSchema(std::string& error);
    bool PrepareSchemaBeforeDeadline(std::string& error);
    bool SchemaVersion(int& version, std::string& error);
    bool Rollback();
    void StartWaiting();
    static int WaitWhileBusy(void* self, int attempt);
    std::string Failure(std::string_view what) const;

    std::chrono::milliseconds lockWait_;
    std::chrono::steady_clock::time_point deadline_;
    sqlite3* connection_ = nullptr;
    std::string path_;
    int version_ = 0;
    Commit commit_ = Commit::Durable;
};
