#pragma once

#include "seams/Clock.h"
#include "tools/tq4800-flash/FleetReport.h"
#include "tools/tq4800-flash/TerminalSize.h"

#include <csignal>
#include <cstdint>
#include <cstdio>

// A fleet's update on a terminal: one line per instrument, redrawn in place:
//   TW00012345  3 / 5  [##########..........]  47%  0:11 left
// Before its segments a line shows the instrument's last log step ("Testing ... "), at
// the end its result. Redraws come at most ten times a second, at every result and after the
// terminal was resized (SIGWINCH). Each line is clipped to the terminal's width, so that none
// wraps and every redraw lands on the lines it replaces; notes stand below the block, whole.
// A terminal narrowed mid-run may have wrapped the lines already drawn onto more rows (VTE,
// tmux, konsole and kitty do; xterm and the Linux console cut them instead): the redraw goes
// up over the rows they take when wrapped, so that no stale copy stays above the block. On a
// terminal that cuts, that clears as many rows of earlier output above the block.
// A fleet taller than the terminal shows those at work and a line that counts the others.
class FleetScreen final : public FleetReport {
public:
    FleetScreen(std::FILE* out, Clock& clock);
    ~FleetScreen() override;
    FleetScreen(const FleetScreen&) = delete;
    FleetScreen& operator=(const FleetScreen&) = delete;

private:
    struct Line {
        std::string step; // the last log step, until the segments begin
        SegmentProgress progress;
        bool inSegments = false;
        std::string result; // set at the end
        int code = 0;
    };

    void OnFound() override;
    void OnBegin() override;
    void OnLog(std::size_t member, std::string_view text) override;
    void OnProgress(std::size_t member, const SegmentProgress& progress) override;
    void OnResult(std::size_t member, const MemberResult& result) override;
    void OnSummary(const std::vector<MemberResult>& results, int exitCode, double seconds) override;
    void OnNote(std::string_view text) override;
    void Redraw(bool now);
    std::size_t DrawnRows() const;
    std::vector<std::string> Rows() const;
    std::string Others(const std::vector<std::size_t>& shown) const;
    std::string Text(std::size_t member) const;

    std::FILE* out_;
    Clock& clock_;
    std::vector<Line> lines_;
    std::vector<std::string> notes_; // drawn below the instruments, once the lines are live
    bool live_ = false;
    TerminalSize size_;
    std::vector<std::size_t> drawnWidths_; // of the lines on the screen from the last redraw
    std::uint64_t lastDrawMs_ = 0;
    struct sigaction previousResize_ {};
};
