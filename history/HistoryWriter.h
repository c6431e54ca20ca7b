#pragma once

#include "history/HistoryDatabase.h"
#include "history/HistoryLocation.h"
#include "history/HistoryRecord.h"

#include <condition_variable>
#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <thread>

// The one connection of a program to its history file, on a thread of its own. Journals
// hand it their records; it commits the records pending from all of them together, so the
// instruments of a fleet do not wait for the disk one after another. A save returns once its
// record is committed, and a durable one once it is on the disk. The file is opened at the first
// save, waiting at most lockWait for another program's lock; a file that cannot be opened or
// written is left alone for the rest of the program, and the reason is kept for the journals to
// say.
class HistoryWriter {
public:
    HistoryWriter(HistoryLocation location, std::chrono::milliseconds lockWait);
    // Commits what is still pending, then ends the thread.
    ~HistoryWriter();
    HistoryWriter(const HistoryWriter&) = delete;
    HistoryWriter& operator=(const HistoryWriter&) = delete;

    // A key for the record of a new run; the record is written by the first Save with it.
    int NewKey();
    // Writes record as the state of the run of key, and returns once it is committed.
    // Returns the history's problem, empty while it works.
    std::string Save(int key, const HistoryRecord& record, HistoryDatabase::Commit commit);

private:
    void Run();
    void Commit(std::map<int, HistoryRecord>& batch, bool durable);
    bool OpenOnce();

    HistoryLocation location_;
    HistoryDatabase database_;
    std::map<int, std::int64_t> rowIds_; // the writer thread's alone
    bool opened_ = false;

    std::mutex mutex_;
    std::condition_variable work_;
    std::condition_variable committed_;
    std::map<int, HistoryRecord> pending_;
    bool durableWanted_ = false;
    bool stopping_ = false;
    int nextKey_ = 0;
    std::uint64_t issued_ = 0;
    std::uint64_t done_ = 0;
    std::string problem_;
    std::thread thread_;
};

// Writes "interrupted" into the running records of this host's dead processes, when the
// history at location exists and its lock is had within lockWait; says nothing otherwise.
void RecordDeadRunsOf(const HistoryLocation& location, std::chrono::milliseconds lockWait);
