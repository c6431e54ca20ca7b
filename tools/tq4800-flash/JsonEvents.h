#pragma once

#include "tools/tq4800-flash/FleetReport.h"

#include <cstdio>

// The update for scripts and production systems: one JSON object a line, flushed at once.
// Every event carries "event", "time" (UTC, ISO 8601, to the millisecond) and "run" (the id
// of this invocation, as the update history records it):
//   {"event":"instruments","instruments":[{"resource":"USB0::...","serial":"TW..."}, ...]}
//   {"event":"log","serial":"TW...","text":"Connect ... "}          each piece of the log
//   {"event":"progress","serial":"TW...","segment":"MAIN","step":4,"of":5,"percent":62}
//   {"event":"result","serial":"TW...","code":13,"text":"","explanation":"...","seconds":20.4}
//   {"event":"summary","completed":2,"declined":0,"failed":1,"exit":13,"seconds":20.6}
// The manual page lists the fields; a test holds the two together.
class JsonEvents final : public FleetReport {
public:
    JsonEvents(std::FILE* out, std::string runId) : out_(out), runId_(std::move(runId)) {}

private:
    void OnFound() override;
    void OnLog(std::size_t member, std::string_view text) override;
    void OnProgress(std::size_t member, const SegmentProgress& progress) override;
    void OnResult(std::size_t member, const MemberResult& result) override;
    void OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) override;
    template <typename Fields> void Print(const char* event, Fields fields);

    std::FILE* out_;
    std::string runId_;
    std::vector<int> percentShown_; // progress is told once per percent
};
