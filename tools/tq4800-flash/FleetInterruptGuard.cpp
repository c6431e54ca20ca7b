#include "tools/tq4800-flash/FleetInterruptGuard.h"

void FleetInterruptGuard::Enter() {
    std::lock_guard hold(lock_);
    if (updating_++ == 0)
        guard_.SetUpdating(true);
}

void FleetInterruptGuard::Leave() {
    std::lock_guard hold(lock_);
    if (--updating_ == 0)
        guard_.SetUpdating(false);
}

void MemberGuard::SetUpdating(bool updating) {
    if (updating == updating_)
        return;
    updating_ = updating;
    if (updating)
        fleet_.Enter();
    else
        fleet_.Leave();
}
