#pragma once

#include <cstdint>

// Time as the utility and the simulated instrument see it. Every fixed wait of the update
// (10 ms after a frame or a data chunk, 2500 ms after the switch to the loader) is a
// blocking SleepMs on this clock; the simulated instrument measures its own delays and
// time-outs on the same clock, so tests on a FakeClock are exact and take no real time.
class Clock {
public:
    virtual ~Clock() = default;
    // Blocks the calling thread for ms milliseconds; no events are processed meanwhile.
    virtual void SleepMs(std::uint32_t ms) = 0;
    // Milliseconds since an arbitrary, fixed origin; never goes backwards.
    virtual std::uint64_t NowMs() const = 0;
};

// The wall clock: std::this_thread::sleep_for and std::chrono::steady_clock.
class RealClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override;
    std::uint64_t NowMs() const override;
};

// The process-wide real clock.
Clock& SystemClock();
