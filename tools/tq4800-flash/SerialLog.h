#pragma once

#include "tools/tq4800-flash/FleetReport.h"

#include <cstdio>

// A fleet's log for a file or a pipe: every log line whole, prefixed with its instrument's
// serial number ("TW00012345: Connect ... OK"), and the table of results at the end.
class SerialLog final : public FleetReport {
public:
    explicit SerialLog(std::FILE* out) : out_(out) {}

private:
    void OnFound() override;
    void OnLog(std::size_t member, std::string_view text) override;
    void OnProgress(std::size_t, const SegmentProgress&) override {}
    void OnResult(std::size_t member, const MemberResult& result) override;
    void OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) override;
    void PrintLine(std::size_t member, std::string_view line);

    std::FILE* out_;
    std::vector<std::string> unfinished_; // each instrument's line that has no end yet
};
