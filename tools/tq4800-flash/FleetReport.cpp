#include "tools/tq4800-flash/FleetReport.h"

#include "tools/tq4800-flash/TerminalScreen.h"

#include <algorithm>
#include <cstdio>

void FleetReport::Found(const std::vector<FleetInstrument>& members) {
    std::lock_guard hold(lock_);
    members_ = members;
    OnFound();
}

void FleetReport::Begin() {
    std::lock_guard hold(lock_);
    OnBegin();
}

void FleetReport::Log(std::size_t member, std::string_view text) {
    std::lock_guard hold(lock_);
    NoteRefusedStop();
    OnLog(member, text);
}

void FleetReport::Progress(std::size_t member, const SegmentProgress& progress) {
    std::lock_guard hold(lock_);
    NoteRefusedStop();
    OnProgress(member, progress);
}

void FleetReport::Note(std::string_view text) {
    std::lock_guard hold(lock_);
    OnNote(text);
}

void FleetReport::OnNote(std::string_view text) {
    std::fprintf(stderr, "tq4800-flash: %.*s\n", static_cast<int>(text.size()), text.data());
    std::fflush(stderr);
}

// The signal handler only notes a refused stop; it is told here, between whole lines.
void FleetReport::NoteRefusedStop() {
    if (TerminalScreen::TakeRefusedStop())
        OnNote("the instruments' flash is being written; the update goes on.");
}

void FleetReport::Result(std::size_t member, const MemberResult& result) {
    std::lock_guard hold(lock_);
    OnResult(member, result);
}

void FleetReport::Summary(const std::vector<MemberResult>& results, int exitCode, double seconds) {
    std::lock_guard hold(lock_);
    OnSummary(results, exitCode, seconds);
}

std::string_view SegmentName(int segment) {
    static constexpr std::string_view NAMES[] = {"FPGA1", "FPGA2", "FPGA3", "MAIN", "HTTP"};
    return NAMES[std::clamp(segment, 0, 4)];
}

std::string ResultText(const MemberResult& result) {
    return result.text.empty() ? "Error number: " + std::to_string(result.code) : result.text;
}

std::string SummaryTable(const std::vector<FleetInstrument>& members,
                         const std::vector<MemberResult>& results) {
    std::size_t resultWidth = 6;
    for (const MemberResult& result : results)
        resultWidth = std::max(resultWidth, ResultText(result).size());
    auto row = [&](std::string_view serial, std::string_view result, std::string_view code,
                   std::string_view time) {
        char line[512];
        std::snprintf(line, sizeof line, "%-10.*s  %-*.*s  %4.*s  %8.*s\n",
                      static_cast<int>(serial.size()), serial.data(), static_cast<int>(resultWidth),
                      static_cast<int>(result.size()), result.data(), static_cast<int>(code.size()),
                      code.data(), static_cast<int>(time.size()), time.data());
        return std::string(line);
    };
    std::string table = row("Serial", "Result", "Code", "Time");
    for (std::size_t i = 0; i < members.size() && i < results.size(); ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", results[i].seconds);
        table +=
            row(members[i].serial, ResultText(results[i]), std::to_string(results[i].code), time);
    }
    return table;
}
