#include "tools/tq4800-flash/FleetServices.h"

namespace {

OnceNotice::Say AsNote(FleetReport& report) {
    return [&report](const std::string& text) { report.Note(text); };
}

} // namespace

FleetServices::FleetServices(const std::string& path, int descriptor, const ImageInfo& image,
                             std::size_t members, FleetReport& report, std::string runId)
    : historyNotice_(AsNote(report)), powerNotice_(AsNote(report)),
      history_(HistoryLocationFromEnvironment(), "terminal", historyNotice_, std::move(runId)) {
    const FirmwareFileFacts facts = history_.FactsOfLoadedFile(path, descriptor, image);
    for (std::size_t member = 0; member < members; ++member) {
        journals_.push_back(history_.JournalFor(facts));
        holds_.push_back(std::make_unique<LogindPowerHold>(powerNotice_));
    }
}
