#include "tools/tq4800-flash/TerminalScreen.h"

#include "image/PrintableText.h"
#include "tools/tq4800-flash/TerminalSize.h"

#include <csignal>

namespace {

volatile std::sig_atomic_t refusedStops = 0;

constexpr char REFUSAL_NOTE[] =
    "tq4800-flash: the instrument's flash is being written; the update goes on.\n";

// VT100 save and restore cursor, and erase to the end of the screen: the rest of the log's
// line and whatever a terminal narrowed after the bar was drawn has wrapped of it below.
constexpr char SAVE_CURSOR[] = "\0337";
constexpr char RESTORE_CURSOR[] = "\0338";
constexpr char ERASE_TO_END[] = "\033[J";

std::string WithUnixLineEnds(std::string_view text) {
    std::string result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n')
            continue;
        result += text[i];
    }
    return result;
}

} // namespace

TerminalScreen::TerminalScreen(std::FILE* out, std::FILE* err, bool drawBar)
    : out_(out), err_(err), drawBar_(drawBar) {}

void TerminalScreen::NoteRefusedStop() {
    refusedStops = 1;
}

bool TerminalScreen::TakeRefusedStop() {
    if (refusedStops == 0)
        return false;
    refusedStops = 0;
    return true;
}

void TerminalScreen::AppendLog(std::string_view text) {
    const std::string lines = PrintableLines(WithUnixLineEnds(text));
    if (lines.empty())
        return;
    WipeBar();
    std::fwrite(lines.data(), 1, lines.size(), out_);
    std::fflush(out_);
    logAtLineStart_ = lines.back() == '\n';
    const std::size_t lineEnd = lines.rfind('\n');
    logColumn_ =
        lineEnd == std::string::npos ? logColumn_ + lines.size() : lines.size() - lineEnd - 1;
    PrintRefusalNote();
}

void TerminalScreen::PrintError(std::string_view line) {
    WipeBar();
    EndLog();
    const std::string printable = PrintableLines(line);
    std::fprintf(err_, "%s\n", printable.c_str());
    std::fflush(err_);
}

void TerminalScreen::PrintPrompt(std::string_view question) {
    WipeBar();
    EndLog();
    const std::string printable = PrintableLines(question);
    std::fprintf(err_, "%s ", printable.c_str());
    std::fflush(err_);
}

void TerminalScreen::DrawBar(std::string_view bar) {
    PrintRefusalNote();
    if (!drawBar_)
        return;
    // Cut to the room left on the log's line: a bar that wrapped could scroll the screen, and
    // the cursor would then be restored a row too high.
    const std::size_t columns = TerminalSizeOf(fileno(err_)).columns;
    bar = bar.substr(0, columns > logColumn_ + 1 ? columns - logColumn_ - 1 : 0);
    std::fprintf(err_, "%s%s%.*s%s", SAVE_CURSOR, ERASE_TO_END, static_cast<int>(bar.size()),
                 bar.data(), RESTORE_CURSOR);
    std::fflush(err_);
    barShown_ = true;
}

void TerminalScreen::EndLog() {
    if (!logAtLineStart_) {
        std::fputc('\n', out_);
        std::fflush(out_);
        logAtLineStart_ = true;
        logColumn_ = 0;
    }
    PrintRefusalNote();
}

void TerminalScreen::PrintRefusalNote() {
    if (refusedStops == 0 || !logAtLineStart_)
        return;
    refusedStops = 0;
    WipeBar();
    std::fputs(REFUSAL_NOTE, err_);
    std::fflush(err_);
}

void TerminalScreen::WipeBar() {
    if (!barShown_)
        return;
    std::fputs(ERASE_TO_END, err_);
    std::fflush(err_);
    barShown_ = false;
}
