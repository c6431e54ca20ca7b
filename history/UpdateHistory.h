#pragma once

#include "history/FirmwareFileFacts.h"
#include "history/HistoryLocation.h"
#include "history/HistoryWriter.h"
#include "history/RunId.h"
#include "seams/OnceNotice.h"
#include "seams/UpdateJournal.h"

#include <memory>
#include <string>

// The update history of one program: hands out one journal per instrument and run, all
// written through the program's one writer, so a fleet's threads may each hold one. History
// is best effort: a history that cannot be opened or written lets the update run on, and
// the first such problem of the program is said through notice. Made at a program's start,
// it writes "interrupted" into the records of this host's runs whose process died.
class UpdateHistory {
public:
    // frontEnd is "window" or "terminal"; notice may be called from any journal's thread;
    // runId goes into every record of this program.
    UpdateHistory(HistoryLocation location, std::string frontEnd, OnceNotice& notice,
                  std::string runId = NewRunId(),
                  std::chrono::milliseconds lockWait = HistoryDatabase::LOCK_WAIT);

    // A journal of a run with the file described by file; a journal that records nothing
    // when the history is off. A journal must not outlive the history that made it.
    std::unique_ptr<UpdateJournal> JournalFor(const FirmwareFileFacts& file);
    // The same for the file at path, loaded as image; a file that cannot be read again for
    // its digest is said through notice and recorded without size and digest.
    std::unique_ptr<UpdateJournal> JournalFor(const std::string& path, const ImageInfo& image);
    // What is recorded of the file at path, loaded as image through descriptor: its bytes are
    // read again through that descriptor, so a file replaced or rewritten since is not what
    // gets recorded. Empty when the history is off; a problem is said through notice.
    FirmwareFileFacts FactsOfLoadedFile(const std::string& path, int descriptor,
                                        const ImageInfo& image);

    const HistoryLocation& Location() const { return location_; }

private:
    HistoryLocation location_;
    std::string frontEnd_;
    OnceNotice& notice_;
    std::string runId_;
    std::unique_ptr<HistoryWriter> writer_;
};
