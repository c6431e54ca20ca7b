#include "tools/tq4800-flash/FleetScreen.h"

#include "image/PrintableText.h"
#include "tools/tq4800-flash/NamesInOneLine.h"

#include <algorithm>
#include <csignal>

namespace {

constexpr int BAR_WIDTH = 20;
constexpr std::uint64_t REDRAW_INTERVAL_MS = 100;

// VT100: to the start of the line; erase from the cursor to the end of the screen.
constexpr char LINE_START[] = "\r";
constexpr char ERASE_BELOW[] = "\033[J";

volatile std::sig_atomic_t resized = 0;

extern "C" void NoteResize(int) {
    resized = 1;
}

// The first columns of text: a line as wide as the terminal would leave the cursor waiting in
// its last column, and a wider one would wrap; either way the redraw would miscount its lines.
std::string Clipped(const std::string& text, std::size_t columns) {
    return text.substr(0, columns > 1 ? columns - 1 : 1);
}

std::string Bar(int percent) {
    const int filled = std::clamp(percent, 0, 100) * BAR_WIDTH / 100;
    return "[" + std::string(static_cast<std::size_t>(filled), '#') +
           std::string(static_cast<std::size_t>(BAR_WIDTH - filled), '.') + "]";
}

std::string TimeLeft(double seconds) {
    if (seconds < 0)
        return "--:-- left";
    const long whole = static_cast<long>(seconds + 0.5);
    char text[32];
    std::snprintf(text, sizeof text, "%ld:%02ld left", whole / 60, whole % 60);
    return text;
}

// The step of a log piece: "Connect ... " stays, the line ends and "OK" do not matter here.
std::string Trimmed(std::string_view text) {
    while (!text.empty() && (text.front() == '\r' || text.front() == '\n' || text.front() == ' '))
        text.remove_prefix(1);
    while (!text.empty() && (text.back() == '\r' || text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    return std::string(text);
}

} // namespace

FleetScreen::FleetScreen(std::FILE* out, Clock& clock) : out_(out), clock_(clock) {
    columns_ = TerminalColumns(fileno(out_));
    struct sigaction action {};
    action.sa_handler = NoteResize;
    action.sa_flags = SA_RESTART;
    sigemptyset(&action.sa_mask);
    sigaction(SIGWINCH, &action, &previousResize_);
}

FleetScreen::~FleetScreen() {
    sigaction(SIGWINCH, &previousResize_, nullptr);
}

void FleetScreen::OnFound() {
    lines_.assign(Members().size(), Line());
}

void FleetScreen::OnBegin() {
    live_ = true;
    Redraw(true);
}

void FleetScreen::OnLog(std::size_t member, std::string_view text) {
    const std::string step = Trimmed(text);
    if (step.empty() || step == "OK")
        return;
    lines_[member].step = step;
    Redraw(false);
}

void FleetScreen::OnProgress(std::size_t member, const SegmentProgress& progress) {
    lines_[member].inSegments = true;
    lines_[member].progress = progress;
    Redraw(false);
}

void FleetScreen::OnResult(std::size_t member, const MemberResult& result) {
    lines_[member].result = result.code == 0 ? ResultText(result)
                                             : "Error number: " + std::to_string(result.code) +
                                                   "  " + std::string(Explanation(result));
    Redraw(true);
}

void FleetScreen::OnSummary(const std::vector<MemberResult>& results, int, double) {
    live_ = true;
    Redraw(true);
    const std::string table = SummaryTable(Members(), results);
    std::fprintf(out_, "\n%s", table.c_str());
    std::fflush(out_);
}

// Once the lines are live, a note printed elsewhere would shift them: it joins the block.
void FleetScreen::OnNote(std::string_view text) {
    if (!live_) {
        FleetReport::OnNote(text);
        return;
    }
    const std::string note = "tq4800-flash: " + Printable(text);
    if (std::find(notes_.begin(), notes_.end(), note) == notes_.end())
        notes_.push_back(note);
    Redraw(true);
}

// The block is drawn again from its first line down, and everything below it erased: after
// a resize the terminal may have cut or moved what was there.
void FleetScreen::Redraw(bool now) {
    if (!live_)
        return;
    const std::uint64_t nowMs = clock_.NowMs();
    const bool resize = resized != 0;
    if (!now && !resize && drawn_ != 0 && nowMs - lastDrawMs_ < REDRAW_INTERVAL_MS)
        return;
    if (resize) {
        resized = 0;
        columns_ = TerminalColumns(fileno(out_));
    }
    lastDrawMs_ = nowMs;
    std::string screen;
    if (drawn_ > 0)
        screen += "\033[" + std::to_string(drawn_) + "A";
    screen += std::string(LINE_START) + ERASE_BELOW;
    std::vector<std::string> rows;
    for (std::size_t i = 0; i < lines_.size(); ++i)
        rows.push_back(Clipped(Text(i), columns_));
    for (const std::string& note : notes_)
        for (std::string& row : Wrapped(note, columns_ > 1 ? columns_ - 1 : 1))
            rows.push_back(std::move(row));
    for (const std::string& row : rows)
        screen += row + "\n";
    drawn_ = static_cast<int>(rows.size());
    std::fwrite(screen.data(), 1, screen.size(), out_);
    std::fflush(out_);
}

// Serial numbers, log steps and result texts come from instruments and files: escaped.
std::string FleetScreen::Text(std::size_t member) const {
    const Line& line = lines_[member];
    const std::string serial = Printable(Members()[member].serial) + "  ";
    if (!line.result.empty())
        return serial + Printable(line.result);
    if (!line.inSegments)
        return serial + Printable(line.step);
    const SegmentProgress& progress = line.progress;
    char percent[8];
    std::snprintf(percent, sizeof percent, "%3d%%", progress.percent);
    return serial + std::to_string(progress.segment + 1) + " / 5  " + Bar(progress.percent) + "  " +
           percent + "  " + TimeLeft(progress.secondsLeft);
}
