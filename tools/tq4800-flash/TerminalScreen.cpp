#include "tools/tq4800-flash/TerminalScreen.h"

namespace {

// VT100 save and restore cursor, and erase to the end of the line.
constexpr char SAVE_CURSOR[] = "\0337";
constexpr char RESTORE_CURSOR[] = "\0338";
constexpr char ERASE_TO_END[] = "\033[K";

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

void TerminalScreen::AppendLog(std::string_view text) {
    const std::string lines = WithUnixLineEnds(text);
    if (lines.empty())
        return;
    WipeBar();
    std::fwrite(lines.data(), 1, lines.size(), out_);
    std::fflush(out_);
    logAtLineStart_ = lines.back() == '\n';
}

void TerminalScreen::PrintError(std::string_view line) {
    WipeBar();
    EndLog();
    std::fprintf(err_, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(err_);
}

void TerminalScreen::PrintPrompt(std::string_view question) {
    WipeBar();
    EndLog();
    std::fprintf(err_, "%.*s ", static_cast<int>(question.size()), question.data());
    std::fflush(err_);
}

void TerminalScreen::DrawBar(std::string_view bar) {
    if (!drawBar_)
        return;
    std::fprintf(err_, "%s%s%.*s%s", SAVE_CURSOR, ERASE_TO_END, static_cast<int>(bar.size()),
                 bar.data(), RESTORE_CURSOR);
    std::fflush(err_);
    barShown_ = true;
}

void TerminalScreen::EndLog() {
    if (logAtLineStart_)
        return;
    std::fputc('\n', out_);
    std::fflush(out_);
    logAtLineStart_ = true;
}

void TerminalScreen::WipeBar() {
    if (!barShown_)
        return;
    std::fputs(ERASE_TO_END, err_);
    std::fflush(err_);
    barShown_ = false;
}
