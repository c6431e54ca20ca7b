#include "tools/tq4800-flash/JsonEvents.h"

#include "status/StatusTable.h"

#include <chrono>
#include <cmath>
#include <ctime>
#include <nlohmann/json.hpp>

namespace {

using json = nlohmann::ordered_json;

double Tenths(double seconds) {
    return std::round(seconds * 10.0) / 10.0;
}

// Now in UTC as ISO 8601 to the millisecond: "2026-12-07T13:06:55.123Z".
std::string UtcNow() {
    using namespace std::chrono;
    const auto now = system_clock::now();
    const std::time_t whole = system_clock::to_time_t(now);
    const long millis =
        static_cast<long>(duration_cast<milliseconds>(now.time_since_epoch()).count() % 1000);
    std::tm utc{};
    gmtime_r(&whole, &utc);
    char text[40];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &utc);
    return text + std::string(".") + (millis < 100 ? (millis < 10 ? "00" : "0") : "") +
           std::to_string(millis) + "Z";
}

} // namespace

// Text from the bus is not always UTF-8; a byte that is not becomes U+FFFD instead of an
// exception in the middle of an update.
template <typename Fields> void JsonEvents::Print(const char* event, Fields fields) {
    json line = {{"event", event}, {"time", UtcNow()}, {"run", runId_}};
    for (auto& [name, value] : fields.items())
        line[name] = value;
    const std::string text = line.dump(-1, ' ', false, json::error_handler_t::replace);
    std::fprintf(out_, "%s\n", text.c_str());
    std::fflush(out_);
}

void JsonEvents::OnFound() {
    percentShown_.assign(Members().size(), -1);
    json instruments = json::array();
    for (const FleetInstrument& member : Members())
        instruments.push_back({{"resource", member.resourceName}, {"serial", member.serial}});
    Print("instruments", json{{"instruments", instruments}});
}

void JsonEvents::OnLog(std::size_t member, std::string_view text) {
    Print("log", json{{"serial", Members()[member].serial}, {"text", text}});
}

void JsonEvents::OnProgress(std::size_t member, const SegmentProgress& progress) {
    if (percentShown_[member] == progress.percent)
        return;
    percentShown_[member] = progress.percent;
    Print("progress", json{{"serial", Members()[member].serial},
                           {"segment", SegmentName(progress.segment)},
                           {"step", progress.segment + 1},
                           {"of", 5},
                           {"percent", progress.percent}});
}

void JsonEvents::OnResult(std::size_t member, const MemberResult& result) {
    Print("result", json{{"serial", Members()[member].serial},
                         {"code", result.code},
                         {"text", result.text},
                         {"explanation", Explanation(result)},
                         {"seconds", Tenths(result.seconds)}});
}

// A decline is the operator's choice, not a fault of the instrument: it is counted apart.
void JsonEvents::OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) {
    int completed = 0, declined = 0;
    for (const MemberResult& result : results) {
        completed += result.code == STATUS_COMPLETE ? 1 : 0;
        declined += result.code == STATUS_CANCELLED ? 1 : 0;
    }
    Print("summary", json{{"completed", completed},
                          {"declined", declined},
                          {"failed", static_cast<int>(results.size()) - completed - declined},
                          {"exit", exitCode},
                          {"seconds", Tenths(seconds)}});
}
