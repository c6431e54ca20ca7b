#include "seams/Clock.h"

#include <chrono>
#include <sys/prctl.h>
#include <thread>

namespace {

// Linux lets every wake-up from a sleep come up to the thread's timer slack late (50 us by
// default) so that wake-ups can be batched. An update waits 10 ms after each of its ~1800
// writes, so that slack alone would stretch it by about 1 %; ask for wake-ups on time.
void TightenTimerSlack() {
    thread_local const bool tightened = prctl(PR_SET_TIMERSLACK, 1UL, 0UL, 0UL, 0UL) == 0;
    (void)tightened;
}

} // namespace

void RealClock::SleepMs(std::uint32_t ms) {
    TightenTimerSlack();
    std::this_thread::sleep_for(std::chrono::milliseconds(ms));
}

std::uint64_t RealClock::NowMs() const {
    using namespace std::chrono;
    return static_cast<std::uint64_t>(
        duration_cast<milliseconds>(steady_clock::now().time_since_epoch()).count());
}

Clock& SystemClock() {
    static RealClock clock;
    return clock;
}
