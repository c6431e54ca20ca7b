#pragma once

#include <cstdint>
#include <string_view>

// The progress bar: a 16-bit range, a position and a step.
class Progress {
public:
    virtual ~Progress() = default;
    virtual void SetRange(std::uint16_t lower, std::uint16_t upper) = 0;
    virtual void SetPos(int position) = 0;
    virtual void SetStep(int step) = 0;
    // Advances the position by the step, wrapping to the lower end past the upper one.
    virtual void StepIt() = 0;
};

// Where a step leaves the bar: past the upper end it starts again from the lower one, as a
// progress control does.
inline int SteppedPosition(int position, int step, int lower, int upper) {
    position += step;
    return position > upper ? lower + (position - upper) : position;
}

// The step counter beside the progress bar ("1 / 5" ... "5 / 5").
class StepIndicator {
public:
    virtual ~StepIndicator() = default;
    virtual void SetStepText(std::string_view text) = 0;
};
