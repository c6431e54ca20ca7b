#include "history/HistoryWriter.h"

#include "history/HistoryFiles.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <utility>

HistoryWriter::HistoryWriter(HistoryLocation location, std::chrono::milliseconds lockWait)
    : location_(std::move(location)), database_(lockWait), thread_([this] { Run(); }) {}

HistoryWriter::~HistoryWriter() {
    {
        const std::lock_guard hold(mutex_);
        stopping_ = true;
    }
    work_.notify_one();
    thread_.join();
}

int HistoryWriter::NewKey() {
    const std::lock_guard hold(mutex_);
    return ++nextKey_;
}

std::string HistoryWriter::Save(int key, const HistoryRecord& record,
                                HistoryDatabase::Commit commit) {
    std::unique_lock hold(mutex_);
    if (!problem_.empty())
        return problem_;
    pending_[key] = record;
    durableWanted_ = durableWanted_ || commit == HistoryDatabase::Commit::Durable;
    const std::uint64_t ticket = ++issued_;
    work_.notify_one();
    committed_.wait(hold, [&] { return done_ >= ticket; });
    return problem_;
}

void HistoryWriter::Run() {
    std::unique_lock hold(mutex_);
    for (;;) {
        work_.wait(hold, [&] { return !pending_.empty() || stopping_; });
        if (pending_.empty())
            return;
        std::map<int, HistoryRecord> batch = std::move(pending_);
        pending_.clear();
        const bool durable = std::exchange(durableWanted_, false);
        const std::uint64_t ticket = issued_;
        hold.unlock();
        Commit(batch, durable);
        hold.lock();
        done_ = ticket;
        committed_.notify_all();
    }
}

bool HistoryWriter::OpenOnce() {
    if (opened_)
        return true;
    std::string error;
    if (location_.standard && !MakePrivateFile(location_.path)) {
        error = "update history " + location_.path + ": cannot be made: " + std::strerror(errno);
    } else if (database_.Open(location_.path, HistoryDatabase::Access::Write, error) &&
               database_.RecordDeadRuns(error)) {
        opened_ = true;
        return true;
    }
    const std::lock_guard hold(mutex_);
    problem_ = error;
    return false;
}

void HistoryWriter::Commit(std::map<int, HistoryRecord>& batch, bool durable) {
    {
        const std::lock_guard hold(mutex_);
        if (!problem_.empty())
            return;
    }
    if (!OpenOnce())
        return;
    std::vector<HistoryRecord*> records;
    for (auto& [key, record] : batch) {
        record.id = rowIds_[key];
        records.push_back(&record);
    }
    std::string error;
    if (!database_.Save(records,
                        durable ? HistoryDatabase::Commit::Durable : HistoryDatabase::Commit::Quick,
                        error)) {
        const std::lock_guard hold(mutex_);
        problem_ = error;
        return;
    }
    for (auto& [key, record] : batch)
        rowIds_[key] = record.id;
}

void RecordDeadRunsOf(const HistoryLocation& location, std::chrono::milliseconds lockWait) {
    std::error_code error;
    if (location.off || !std::filesystem::is_regular_file(location.path, error))
        return;
    HistoryDatabase database(lockWait);
    std::string ignored;
    if (database.Open(location.path, HistoryDatabase::Access::Write, ignored))
        database.RecordDeadRuns(ignored);
}
