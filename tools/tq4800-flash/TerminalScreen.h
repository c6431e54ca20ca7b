#pragma once

#include <cstdio>
#include <string>
#include <string_view>

// The terminal as the log pane and the progress bar share it. The log goes to standard
// output as it grows, with the window's "\r\n" line ends written as "\n". The bar is drawn on
// standard error right after the log's unfinished line (after "    Loading ... ", say) and
// wiped before the log goes on, so the log itself stays plain text; it is drawn only when
// standard error is a terminal, and only as much of it as fits on the line. Text that may come from
// a file (the model, an answer) is printed with control characters escaped, so nothing but the bar
// controls the terminal.
class TerminalScreen {
public:
    TerminalScreen(std::FILE* out, std::FILE* err, bool drawBar);

    void AppendLog(std::string_view text);
    // One line on standard error, after the log's unfinished line has been ended.
    void PrintError(std::string_view line);
    // A question on standard error, with the cursor left after it for the answer.
    void PrintPrompt(std::string_view question);
    void DrawBar(std::string_view bar);
    // Ends the log's last line at exit, so the shell prompt starts on a line of its own.
    void EndLog();

    // Safe in a signal handler: notes that a request to stop the program was refused. The
    // note is printed on standard error at the next output once the log's line has ended, on
    // a line of its own, so that it splits neither the log's line nor the bar.
    static void NoteRefusedStop();
    // Whether a stop was refused since the last call; for fronts that print their own note.
    static bool TakeRefusedStop();

private:
    void WipeBar();
    void PrintRefusalNote();

    std::FILE* out_;
    std::FILE* err_;
    bool drawBar_;
    bool barShown_ = false;
    bool logAtLineStart_ = true;
    std::size_t logColumn_ = 0; // characters of the log's unfinished line
};
