#include "tools/tq4800-flash/FleetReport.h"

#include "image/PrintableText.h"
#include "status/StatusExplanations.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "tools/tq4800-flash/TerminalScreen.h"
#include "tools/tq4800-flash/WrappedText.h"

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

// A note may name a path or an instrument: printed escaped.
void FleetReport::OnNote(std::string_view text) {
    std::fprintf(stderr, "tq4800-flash: %s\n", Printable(text).c_str());
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

std::string_view Explanation(const MemberResult& result) {
    if (result.code == EXIT_UNAVAILABLE)
        return "the instrument was gone from the bus at its update's search";
    return ExplainStatus(result.code);
}

namespace {

constexpr std::size_t TABLE_WIDTH = 80;
constexpr int SERIAL_WIDTH = 10;
constexpr std::size_t RESULT_COLUMN = SERIAL_WIDTH + 2 + 4 + 2 + 8 + 2;

std::string Row(std::string_view serial, std::string_view code, std::string_view time,
                std::string_view result) {
    char line[64];
    std::snprintf(line, sizeof line, "%-*.*s  %4.*s  %8.*s  ", SERIAL_WIDTH,
                  static_cast<int>(serial.size()), serial.data(), static_cast<int>(code.size()),
                  code.data(), static_cast<int>(time.size()), time.data());
    std::string row = line;
    const std::vector<std::string> lines = Wrapped(result, TABLE_WIDTH - RESULT_COLUMN);
    for (std::size_t i = 0; i < lines.size(); ++i)
        row += (i == 0 ? "" : std::string(RESULT_COLUMN, ' ')) + lines[i] + "\n";
    return row;
}

} // namespace

std::string SummaryTable(const std::vector<FleetInstrument>& members,
                         const std::vector<MemberResult>& results) {
    std::string table = Row("Serial", "Code", "Time", "Result");
    for (std::size_t i = 0; i < members.size() && i < results.size(); ++i) {
        char time[32];
        std::snprintf(time, sizeof time, "%.1f s", results[i].seconds);
        // A long serial number keeps the columns: it is cut to its field.
        const std::string serial = Printable(members[i].serial).substr(0, SERIAL_WIDTH);
        table += Row(serial, std::to_string(results[i].code), time, Explanation(results[i]));
    }
    return table;
}
