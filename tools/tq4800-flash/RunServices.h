#pragma once

#include "history/UpdateHistory.h"
#include "power/LogindPowerHold.h"
#include "seams/OnceNotice.h"

#include <memory>
#include <string>

class TerminalScreen;
class UpdateSequence;

// The history record and the power hold of the updates of one terminal run; their
// problems are said once each on the terminal, after the log's unfinished line.
class RunServices {
public:
    // runId goes into every record of this invocation.
    RunServices(TerminalScreen& screen, std::string runId);

    // Gives sequence a journal of a run with the file at path, loaded as image through
    // descriptor, and the hold.
    void AttachTo(UpdateSequence& sequence, const std::string& path, int descriptor,
                  const ImageInfo& image);

private:
    OnceNotice historyNotice_;
    OnceNotice powerNotice_;
    UpdateHistory history_;
    std::unique_ptr<UpdateJournal> journal_;
    LogindPowerHold powerHold_;
};
