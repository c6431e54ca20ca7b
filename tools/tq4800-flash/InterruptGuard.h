#pragma once

#include "seams/BusyGuard.h"
#include "tools/tq4800-flash/ControlKeyEcho.h"

#include <csignal>
#include <iterator>

// The terminal's counterpart of the window's close guard: while segments are being flashed,
// Ctrl-C, Ctrl-\, a hang-up and a termination request do not end the program, since an
// instrument left with a half-written flash may not start again. Such requests are answered
// with a note on standard error. There are no buttons to disable.
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
    static constexpr int GUARDED_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

    bool updating_ = false;
    struct sigaction previous_[std::size(GUARDED_SIGNALS)] = {};
    ControlKeyEcho echo_;
};
