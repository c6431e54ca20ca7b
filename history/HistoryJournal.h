#pragma once

#include "history/HistoryDatabase.h"
#include "history/HistoryRecord.h"
#include "seams/UpdateJournal.h"

#include <chrono>
#include <functional>
#include <string>

// The journal of one run of one instrument, kept in the history file. The record is
// committed when the run starts, after each segment and when it ends, so a run cut short by
// a crash or a power cut leaves a running record behind that reads "interrupted".
class HistoryJournal final : public UpdateJournal {
public:
    // record holds what is known before the run: who runs it, the front end and the file.
    HistoryJournal(std::string path, HistoryRecord record,
                   std::function<void(const std::string&)> report);

    void RunStarted(std::string_view resourceName) override;
    void InstrumentRevision(std::string_view revisionField) override;
    void SegmentDone(int position, bool alreadyHeld) override;
    void RunEnded(StatusCode status) override;

private:
    void Save(HistoryDatabase::Commit commit);

    std::string path_;
    HistoryRecord record_;
    std::function<void(const std::string&)> report_;
    HistoryDatabase database_;
    bool usable_ = false;
    std::chrono::steady_clock::time_point started_;
};

// The time now in UTC as the history writes it.
std::string UtcNow();
