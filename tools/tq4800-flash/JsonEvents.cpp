#include "tools/tq4800-flash/JsonEvents.h"

#include <cmath>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

// Text from the bus is not always UTF-8; a byte that is not becomes U+FFFD instead of an
// exception in the middle of an update.
std::string Dump(const json& event) {
    return event.dump(-1, ' ', false, json::error_handler_t::replace);
}

double Tenths(double seconds) {
    return std::round(seconds * 10.0) / 10.0;
}

} // namespace

void JsonEvents::OnFound() {
    percentShown_.assign(Members().size(), -1);
    json instruments = json::array();
    for (const FleetInstrument& member : Members())
        instruments.push_back({{"resource", member.resourceName}, {"serial", member.serial}});
    Print(Dump({{"event", "instruments"}, {"instruments", instruments}}));
}

void JsonEvents::OnLog(std::size_t member, std::string_view text) {
    Print(Dump({{"event", "log"}, {"serial", Members()[member].serial}, {"text", text}}));
}

void JsonEvents::OnProgress(std::size_t member, const SegmentProgress& progress) {
    if (percentShown_[member] == progress.percent)
        return;
    percentShown_[member] = progress.percent;
    Print(Dump({{"event", "progress"},
                {"serial", Members()[member].serial},
                {"segment", SegmentName(progress.segment)},
                {"step", progress.segment + 1},
                {"of", 5},
                {"percent", progress.percent}}));
}

void JsonEvents::OnResult(std::size_t member, const MemberResult& result) {
    Print(Dump({{"event", "result"},
                {"serial", Members()[member].serial},
                {"code", result.code},
                {"text", result.text},
                {"seconds", Tenths(result.seconds)}}));
}

void JsonEvents::OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) {
    int completed = 0;
    for (const MemberResult& result : results)
        completed += result.code == 0 ? 1 : 0;
    Print(Dump({{"event", "summary"},
                {"completed", completed},
                {"failed", static_cast<int>(results.size()) - completed},
                {"exit", exitCode},
                {"seconds", Tenths(seconds)}}));
}

void JsonEvents::Print(const std::string& line) {
    std::fprintf(out_, "%s\n", line.c_str());
    std::fflush(out_);
}
