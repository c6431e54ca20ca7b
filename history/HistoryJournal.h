#pragma once

#include "history/HistoryRecord.h"
#include "history/HistoryWriter.h"
#include "seams/UpdateJournal.h"

#include <chrono>
#include <functional>
#include <string>

// The journal of one run of one instrument, kept in the history file through the program's
// writer. The record is written when the run starts (as declined, until the operator
// confirms), durably when the operator confirms, after each segment, and durably when it
// ends; a run cut short by a crash or a power cut after the confirmation leaves a running
// record behind that reads "interrupted".
class HistoryJournal final : public UpdateJournal {
public:
    // record holds what is known before the run: who runs it, the front end and the file.
    HistoryJournal(HistoryWriter& writer, HistoryRecord record,
                   std::function<void(const std::string&)> report);

    void RunStarted(std::string_view resourceName) override;
    void RunConfirmed() override;
    void InstrumentRevision(std::string_view revisionField) override;
    void SegmentDone(int position, bool alreadyHeld) override;
    void RunEnded(StatusCode status) override;

private:
    void Save(HistoryDatabase::Commit commit);
    void End(StatusCode status);

    HistoryWriter& writer_;
    HistoryRecord record_;
    std::function<void(const std::string&)> report_;
    int key_;
    std::chrono::steady_clock::time_point confirmed_;
};

// The time now in UTC as the history writes it.
std::string UtcNow();
