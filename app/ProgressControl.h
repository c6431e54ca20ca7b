#pragma once

#include "seams/Progress.h"

class QLabel;
class QProgressBar;

// The progress bar and the step counter beside it. Keeps the position itself so that a
// position outside the range is clamped into it, as the bar's range promises, where Qt's
// bar would ignore it.
class ProgressControl final : public Progress, public StepIndicator {
public:
    void Bind(QProgressBar& bar, QLabel& step);

    void SetRange(std::uint16_t lower, std::uint16_t upper) override;
    void SetPos(int position) override;
    void SetStep(int step) override;
    void StepIt() override;
    void SetStepText(std::string_view text) override;

private:
    void Show();

    QProgressBar* m_bar = nullptr;
    QLabel* m_step = nullptr;
    int m_lower = 0;
    int m_upper = 100;
    int m_position = 0;
    int m_stepSize = 10;
};
