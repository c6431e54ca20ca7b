#pragma once

#include "seams/Log.h"

class TerminalScreen;

// The update's log on standard output. A reported failure goes to standard error: the
// status table's text, where the code has one, and "Error number: <code>". Lines already
// printed stay: a terminal cannot take them back as the window's pane does.
class TerminalLog final : public Log {
public:
    explicit TerminalLog(TerminalScreen& screen) : screen_(screen) {}

    void AppendLog(std::string_view text) override;
    void ClearLog() override {}
    void ReportStatus(StatusCode code) override;

private:
    TerminalScreen& screen_;
};

// The lines ReportStatus prints for a code, shared with the reports of the file checks.
void PrintStatus(TerminalScreen& screen, StatusCode code);
