#pragma once

#include "status/StatusTable.h"

#include <string_view>

// What an update tells whoever keeps its record: the run got past the search, the loader's
// revision field, each segment as it finished, and how the run ended. Every call is told
// once per run and in this order; a journal never changes the course of the update.
class UpdateJournal {
public:
    virtual ~UpdateJournal() = default;
    // The instrument was found and chosen; the run starts on resourceName.
    virtual void RunStarted(std::string_view resourceName) = 0;
    // The operator confirmed the update; nothing was written to the instrument's flash before.
    virtual void RunConfirmed() = 0;
    // The 22-character revision field of the loader's second identity reply.
    virtual void InstrumentRevision(std::string_view revisionField) = 0;
    // Segment position (0 FPGA1 ... 4 HTTP) ended well: flashed, or already held.
    virtual void SegmentDone(int position, bool alreadyHeld) = 0;
    // The run ended with status (0: "Update is complete.").
    virtual void RunEnded(StatusCode status) = 0;
};

// Keeps nothing: the journal of an update nobody records.
class NullUpdateJournal final : public UpdateJournal {
public:
    void RunStarted(std::string_view) override {}
    void RunConfirmed() override {}
    void InstrumentRevision(std::string_view) override {}
    void SegmentDone(int, bool) override {}
    void RunEnded(StatusCode) override {}
};
