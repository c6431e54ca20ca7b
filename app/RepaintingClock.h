#pragma once

#include "seams/Clock.h"

class QWidget;

// The update's clock as the window gives it: before a blocking wait it repaints the window
// at once if a message box has been dismissed since the last wait. Without a compositing
// window manager the dismissed box would otherwise stay painted over the window for the
// whole wait (2500 ms after the switch to the loader), as nothing handles events then.
class RepaintingClock final : public Clock {
public:
    RepaintingClock(Clock& clock, QWidget& window) : m_clock(clock), m_window(window) {}

    void SleepMs(std::uint32_t ms) override;
    std::uint64_t NowMs() const override { return m_clock.NowMs(); }

    // A box over the window has gone; what it covered is drawn at the next wait.
    void BoxDismissed() { m_boxDismissed = true; }

private:
    Clock& m_clock;
    QWidget& m_window;
    bool m_boxDismissed = false;
};
