#include "app/RepaintingClock.h"

#include <QWidget>

// Each control is repainted on its own as well: a repaint of the window alone leaves the
// box's picture in the scrolled fields' viewports on an X server.
void RepaintingClock::SleepMs(std::uint32_t ms) {
    if (m_boxDismissed && m_window.isVisible()) {
        m_window.repaint();
        for (QWidget* control : m_window.findChildren<QWidget*>())
            if (control->isVisible())
                control->repaint();
    }
    m_boxDismissed = false;
    m_clock.SleepMs(ms);
}
