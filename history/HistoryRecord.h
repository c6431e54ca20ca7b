#pragma once

#include <cstdint>
#include <optional>
#include <string>

// One update of one instrument as the history keeps it. Times are UTC, "YYYY-MM-DD HH:MM:SS".
// A record is born declined (code 2) and becomes "running" when the operator confirms, so a
// run ended at the question, by "No" or by Ctrl-C, reads declined and never running.
struct HistoryRecord {
    std::int64_t id = 0;
    std::string startedUtc;
    std::string endedUtc; // empty while running
    std::string host;
    std::string user;
    std::string frontEnd; // "window" or "terminal"
    std::int64_t processId = 0;
    std::int64_t processStart = 0; // the process's start time in clock ticks since boot
    std::string bootId;
    std::string resourceName;
    std::string serialNumber;
    std::string filePath;
    std::int64_t fileSize = 0;
    std::string fileSha256; // lower-case hex; empty when the file could not be read again
    std::string fileModel;
    std::string fileRevision;
    std::string instrumentRevision; // the loader's revision field, empty until it answered
    std::string segmentsFlashed;    // segment names separated by spaces, e.g. "FPGA1 MAIN"
    std::string segmentsHeld;       // segments the instrument already held
    // "running" while the run goes on, "ended" after it, "interrupted" once a later start of
    // a program of this host found its process gone; a reader shows a running record whose
    // process is gone as "interrupted" too.
    std::string state = "running";
    std::optional<int> statusCode;
    std::string statusText;
    std::int64_t durationMs = 0; // from the confirmation to the end
    std::string confirmedUtc;    // empty when the operator never confirmed
    std::string utilityVersion;
    std::string runId; // shared by the records of one invocation of a program
};

// What the history shows as a run's result: the status text, "Error number: N" for codes
// without a text, or the state of a run that has no status.
std::string ResultText(const HistoryRecord& record);
