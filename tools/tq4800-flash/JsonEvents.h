#pragma once

#include "tools/tq4800-flash/FleetReport.h"

#include <cstdio>

// The update for scripts and production systems: one JSON object a line, flushed at once.
//   {"event":"instruments","instruments":[{"resource":"USB0::...","serial":"TW..."}, ...]}
//   {"event":"log","serial":"TW...","text":"Connect ... "}          each piece of the log
//   {"event":"progress","serial":"TW...","segment":"MAIN","step":4,"of":5,"percent":62}
//   {"event":"result","serial":"TW...","code":0,"text":"Update is complete.","seconds":20.4}
//   {"event":"summary","completed":2,"failed":1,"exit":13,"seconds":20.6}
class JsonEvents final : public FleetReport {
public:
    explicit JsonEvents(std::FILE* out) : out_(out) {}

private:
    void OnFound() override;
    void OnLog(std::size_t member, std::string_view text) override;
    void OnProgress(std::size_t member, const SegmentProgress& progress) override;
    void OnResult(std::size_t member, const MemberResult& result) override;
    void OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) override;
    void Print(const std::string& line);

    std::FILE* out_;
    std::vector<int> percentShown_; // progress is told once per percent
};
