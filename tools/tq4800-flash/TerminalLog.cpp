#include "tools/tq4800-flash/TerminalLog.h"

#include "tools/tq4800-flash/TerminalScreen.h"

#include <string>

void TerminalLog::AppendLog(std::string_view text) {
    screen_.AppendLog(text);
}

void TerminalLog::ReportStatus(StatusCode code) {
    PrintStatus(screen_, code);
}

void PrintStatus(TerminalScreen& screen, StatusCode code) {
    std::string_view text = StatusText(code);
    if (!text.empty())
        screen.PrintError(text);
    screen.PrintError("Error number: " + std::to_string(code));
}
