#pragma once

#include "seams/BusyGuard.h"
#include "tools/tq4800-flash/InterruptGuard.h"

#include <mutex>

// The interrupt guard of a fleet: the signals that would end the program are refused from
// the moment the first instrument starts writing segments until the last one has stopped.
class FleetInterruptGuard {
public:
    void Enter();
    void Leave();

private:
    std::mutex lock_;
    int updating_ = 0;
    InterruptGuard guard_;
};

// One instrument's share of the fleet's guard, as its update's busy guard.
class MemberGuard final : public BusyGuard {
public:
    explicit MemberGuard(FleetInterruptGuard& fleet) : fleet_(fleet) {}
    ~MemberGuard() override { SetUpdating(false); }
    MemberGuard(const MemberGuard&) = delete;
    MemberGuard& operator=(const MemberGuard&) = delete;

    void SetBusy() override {}
    void ClearBusy() override {}
    void SetUpdating(bool updating) override;
    bool IsUpdating() const override { return updating_; }

private:
    FleetInterruptGuard& fleet_;
    bool updating_ = false;
};
