#pragma once

#include "status/StatusTable.h"

#include <string_view>

// The running log of an update and the one place where a failure code is shown. The
// window implements it with its log pane and message boxes; the terminal front end with
// standard output and standard error.
class Log {
public:
    virtual ~Log() = default;
    // Appends text as it is (no line end added) and shows it at once.
    virtual void AppendLog(std::string_view text) = 0;
    virtual void ClearLog() = 0;
    // Clears the log, shows the code's text in a box where the status table says so, then
    // appends "\r\nError number: <code>".
    virtual void ReportStatus(StatusCode code) = 0;
};
