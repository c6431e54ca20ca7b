#include "app/ProgressControl.h"

#include "app/SystemText.h"

#include <QLabel>
#include <QProgressBar>
#include <QString>
#include <algorithm>

void ProgressControl::Bind(QProgressBar& bar, QLabel& step) {
    m_bar = &bar;
    m_step = &step;
    Show();
}

void ProgressControl::SetRange(std::uint16_t lower, std::uint16_t upper) {
    m_lower = lower;
    m_upper = upper;
    m_position = std::clamp(m_position, m_lower, std::max(m_lower, m_upper));
    Show();
}

void ProgressControl::SetPos(int position) {
    m_position = std::clamp(position, m_lower, std::max(m_lower, m_upper));
    Show();
}

void ProgressControl::SetStep(int step) {
    m_stepSize = step;
}

void ProgressControl::StepIt() {
    m_position = SteppedPosition(m_position, m_stepSize, m_lower, m_upper);
    m_position = std::clamp(m_position, m_lower, std::max(m_lower, m_upper));
    Show();
}

void ProgressControl::SetStepText(std::string_view text) {
    m_step->setText(FromSystemText(text));
}

void ProgressControl::Show() {
    // An empty range shows an empty bar; Qt would show a busy animation for it.
    if (m_upper <= m_lower) {
        m_bar->setRange(0, 1);
        m_bar->setValue(0);
        return;
    }
    m_bar->setRange(m_lower, m_upper);
    m_bar->setValue(m_position);
}
