#include "app/UpdateDlg.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>
#include <algorithm>

// The layout's heights are outer heights, frame and title bar included, but Qt sizes the
// client area. A window manager decorates and places the window only after it is shown,
// and may take the decoration off and put it back when the window is minimised and
// restored; until it has done so Qt reports no frame. So the frame is read again at every
// show, move, resize, state change and paint, and the client height follows it.
bool CUpdateDlg::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
        FollowWindowState(event->spontaneous());
        FollowWindowFrame();
        break;
    case QEvent::ActivationChange:
    case QEvent::Paint:
        FollowWindowFrame();
        break;
    default:
        break;
    }
    return handled;
}

void CUpdateDlg::FollowWindowFrame() {
    if (!isVisible() || isMinimized() || !windowHandle())
        return;
    const QMargins frame = windowHandle()->frameMargins();
    if (frame != m_frame || frameGeometry().height() != OuterHeight()) {
        m_frame = frame;
        KeepOuterHeight();
    }
    // The window starts centred on the screen, outer rectangle and all. The window manager
    // may place it elsewhere when it maps it, and its frame may come later still, so it is
    // centred again until it has stayed centred, on screen and framed, for a while.
    if (m_centreUntilPlaced)
        m_centringMoved = CentreOnScreen();
}

// Checked every 50 ms for up to two seconds after the window is shown, until it has been
// on screen, framed and centred at five checks in a row. Without a frame (nothing decorates
// the window) the checks run out.
void CUpdateDlg::StartPlacementChecks() {
    constexpr int CHECK_INTERVAL_MS = 50;
    constexpr int CHECKS = 40;
    m_placementChecksLeft = CHECKS;
    m_placedChecks = 0;
    m_placementCheck.start(CHECK_INTERVAL_MS);
}

void CUpdateDlg::CheckPlacement() {
    constexpr int PLACED_CHECKS = 5;
    FollowWindowFrame();
    const bool placed =
        !m_centringMoved && windowHandle() && windowHandle()->isExposed() && !m_frame.isNull();
    m_placedChecks = placed ? m_placedChecks + 1 : 0;
    if (m_placedChecks >= PLACED_CHECKS || --m_placementChecksLeft <= 0) {
        m_centreUntilPlaced = false;
        m_placementCheck.stop();
    }
}

// A title bar taller than the layout leaves room for (GNOME's is 37 pixels), or a frame
// measured with its shadow (a window manager that announces no frame extents), would cut
// the lowest lines: the client area never gets less than the layout shows.
void CUpdateDlg::KeepOuterHeight() {
    if (isMinimized() || m_leavingMaximised)
        return;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    setFixedSize(width(), OuterHeight() - frame.top() - frame.bottom());
}

// The layout's outer height, or more where the frame leaves the layout too little room.
int CUpdateDlg::OuterHeight() const {
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    return std::max(m_outerHeight, LayoutBottom() + frame.top() + frame.bottom());
}

// The lowest edge of the controls that the layout shows: those that begin within its
// height (collapsed, the log lies below the window).
int CUpdateDlg::LayoutBottom() const {
    int bottom = 0;
    for (const DialogControls::Built& control : m_controls.All()) {
        const QRect place = control.widget->geometry();
        if (place.top() < m_outerHeight)
            bottom = std::max(bottom, place.bottom() + 1);
    }
    return bottom;
}

bool CUpdateDlg::CentreOnScreen() {
    const QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shownOn)
        return false;
    // The layout's height, not the present one: the window manager may not have answered
    // the last resize yet.
    QRect outer(frameGeometry().topLeft(), QSize(frameGeometry().width(), OuterHeight()));
    outer.moveCenter(shownOn->availableGeometry().center());
    if (outer.topLeft() == pos())
        return false;
    move(outer.topLeft());
    return true;
}
