#pragma once

#include <string_view>

// Keeps the PC from sleeping, shutting down or reacting to its lid while an instrument's
// flash is being written. Hold is asked when the buttons are disabled, Release when the run
// ends; a hold that cannot be had says so and lets the update go on.
class PowerHold {
public:
    virtual ~PowerHold() = default;
    virtual void Hold(std::string_view resourceName) = 0;
    virtual void Release() = 0;
};

// Holds nothing.
class NullPowerHold final : public PowerHold {
public:
    void Hold(std::string_view) override {}
    void Release() override {}
};
