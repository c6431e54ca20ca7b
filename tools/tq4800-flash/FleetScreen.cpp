#include "tools/tq4800-flash/FleetScreen.h"

#include "image/PrintableText.h"
#include "tools/tq4800-flash/TerminalSize.h"
#include "tools/tq4800-flash/WrappedText.h"

#include <algorithm>
#include <csignal>

namespace {

constexpr int BAR_WIDTH = 20;
constexpr std::uint64_t REDRAW_INTERVAL_MS = 100;

// VT100: to the start of the line and erase it; erase from the cursor to the end of the screen.
// Each line is erased on its own, and below only after the last: a terminal may keep a copy
// of a screen erased from its top-left corner in its scrollback (tmux does).
constexpr char LINE_START[] = "\r\033[K";
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
    size_ = TerminalSizeOf(fileno(out_));
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
    lines_[member].code = result.code;
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
    if (!now && !resize && !drawnWidths_.empty() && nowMs - lastDrawMs_ < REDRAW_INTERVAL_MS)
        return;
    if (resize) {
        resized = 0;
        size_ = TerminalSizeOf(fileno(out_));
    }
    lastDrawMs_ = nowMs;
    std::string screen;
    if (const std::size_t up = DrawnRows(); up > 0)
        screen += "\033[" + std::to_string(up) + "A";
    drawnWidths_.clear();
    for (const std::string& row : Rows()) {
        screen += LINE_START + row + "\n";
        drawnWidths_.push_back(row.size());
    }
    screen += ERASE_BELOW;
    std::fwrite(screen.data(), 1, screen.size(), out_);
    std::fflush(out_);
}

// The rows the last redraw's lines take now: one each, unless the terminal has been narrowed
// since and wraps what it shows.
std::size_t FleetScreen::DrawnRows() const {
    const std::size_t columns = std::max<std::size_t>(size_.columns, 1);
    std::size_t rows = 0;
    for (const std::size_t width : drawnWidths_)
        rows += std::max<std::size_t>(1, (width + columns - 1) / columns);
    return rows;
}

// The notes whole, and as many instrument lines as the terminal has rows for (one row stays
// free for the cursor): a block taller than the terminal could not be reached again by the
// cursor. When not all fit, those still at work come first and one line counts the others.
std::vector<std::string> FleetScreen::Rows() const {
    std::vector<std::string> notes;
    for (const std::string& note : notes_)
        for (std::string& row : Wrapped(note, size_.columns > 1 ? size_.columns - 1 : 1))
            notes.push_back(std::move(row));
    const std::size_t room = size_.rows > notes.size() + 3 ? size_.rows - notes.size() - 1 : 2;
    std::vector<std::size_t> shown;
    for (int pass = 0; pass < 2; ++pass)
        for (std::size_t i = 0; i < lines_.size(); ++i)
            if (lines_[i].result.empty() == (pass == 0) &&
                (lines_.size() <= room || shown.size() + 1 < room))
                shown.push_back(i);
    std::sort(shown.begin(), shown.end());
    std::vector<std::string> rows;
    for (std::size_t member : shown)
        rows.push_back(Clipped(Text(member), size_.columns));
    if (shown.size() < lines_.size())
        rows.push_back(Clipped(Others(shown), size_.columns));
    rows.insert(rows.end(), notes.begin(), notes.end());
    return rows;
}

// "+ 7 more: 3 completed, 1 failed, 3 at work" for the instruments not shown.
std::string FleetScreen::Others(const std::vector<std::size_t>& shown) const {
    std::size_t completed = 0, failed = 0, working = 0;
    for (std::size_t i = 0; i < lines_.size(); ++i) {
        if (std::binary_search(shown.begin(), shown.end(), i))
            continue;
        const Line& line = lines_[i];
        (line.result.empty() ? working : line.code == 0 ? completed : failed) += 1;
    }
    return "+ " + std::to_string(lines_.size() - shown.size()) +
           " more: " + std::to_string(completed) + " completed, " + std::to_string(failed) +
           " failed, " + std::to_string(working) + " at work";
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
