#pragma once

#include "seams/Progress.h"

#include <string>

class TerminalScreen;

// The progress bar and the step counter, drawn together as "[3 / 5] [#####.....]  50%".
class TerminalProgress final : public Progress, public StepIndicator {
public:
    explicit TerminalProgress(TerminalScreen& screen) : screen_(screen) {}

    void SetRange(std::uint16_t lower, std::uint16_t upper) override;
    void SetPos(int position) override;
    void SetStep(int step) override { step_ = step; }
    void StepIt() override;
    void SetStepText(std::string_view text) override { stepText_ = text; }

private:
    void Draw();

    TerminalScreen& screen_;
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int step_ = 10;
    std::string stepText_;
};
