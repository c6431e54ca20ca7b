#include "tools/tq4800-flash/RunServices.h"

#include "tools/tq4800-flash/TerminalScreen.h"
#include "update/UpdateSequence.h"

namespace {

OnceNotice::Say OnScreen(TerminalScreen& screen) {
    return [&screen](const std::string& text) { screen.PrintError("tq4800-flash: " + text); };
}

} // namespace

RunServices::RunServices(TerminalScreen& screen, std::string runId)
    : historyNotice_(OnScreen(screen)), powerNotice_(OnScreen(screen)),
      history_(HistoryLocationFromEnvironment(), "terminal", historyNotice_, std::move(runId)),
      powerHold_(powerNotice_) {}

void RunServices::AttachTo(UpdateSequence& sequence, const std::string& path, int descriptor,
                           const ImageInfo& image) {
    journal_ = history_.JournalFor(history_.FactsOfLoadedFile(path, descriptor, image));
    sequence.SetJournal(journal_.get());
    sequence.SetPowerHold(&powerHold_);
}
