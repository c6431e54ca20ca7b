#pragma once

#include "seams/BusyGuard.h"
#include "tools/tq4800-flash/ControlKeyEcho.h"

#include <csignal>
#include <iterator>

// The terminal's counterpart of the window's close guard: while segments are being flashed,
// Ctrl-C, Ctrl-\, Ctrl-Z, a hang-up and a termination request neither end nor stop the
// program, since an instrument left with a half-written flash may not start again. Such
// requests are answered with a note on standard error. There are no buttons to disable.
class InterruptGuard final : public BusyGuard {
public:
    InterruptGuard() = default;
    InterruptGuard(const InterruptGuard&) = delete;
    InterruptGuard& operator=(const InterruptGuard&) = delete;
    ~InterruptGuard() override;

    void SetBusy() override {}
    void ClearBusy() override {}
    void SetUpdating(bool updating) override;
    bool IsUpdating() const override { return updating_; }

private:
    struct GuardedSignal {
        int number;
        // Ignored rather than answered: a read or write of the terminal from the background
        // raises SIGTTIN or SIGTTOU again at every retry, so a handler would keep the program
        // in a loop. Ignored, the write goes through and the read fails.
        bool ignored;
    };
    static constexpr GuardedSignal GUARDED_SIGNALS[] = {
        {SIGINT, false},  {SIGQUIT, false}, {SIGTERM, false}, {SIGHUP, false},
        {SIGTSTP, false}, {SIGTTIN, true},  {SIGTTOU, true}};

    bool updating_ = false;
    struct sigaction previous_[std::size(GUARDED_SIGNALS)] = {};
    ControlKeyEcho echo_;
};
