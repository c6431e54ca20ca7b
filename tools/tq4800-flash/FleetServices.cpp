#include "tools/tq4800-flash/FleetServices.h"

#include <cstdio>

namespace {

OnceNotice::Say OnStandardError() {
    return
        [](const std::string& text) { std::fprintf(stderr, "tq4800-flash: %s\n", text.c_str()); };
}

} // namespace

FleetServices::FleetServices(const std::string& path, const ImageInfo& image, std::size_t members)
    : historyNotice_(OnStandardError()), powerNotice_(OnStandardError()),
      history_(HistoryLocationFromEnvironment(), "terminal", historyNotice_) {
    FirmwareFileFacts facts;
    if (!history_.Location().off) {
        std::string problem;
        facts = DescribeFirmwareFile(path, image, problem);
        if (!problem.empty())
            historyNotice_(problem);
    }
    for (std::size_t member = 0; member < members; ++member) {
        journals_.push_back(history_.JournalFor(facts));
        holds_.push_back(std::make_unique<LogindPowerHold>(powerNotice_));
    }
}
