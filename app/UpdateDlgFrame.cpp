#include "app/UpdateDlg.h"

#include <QGuiApplication>
#include <QScreen>
#include <QWindow>

// The layout's heights are outer heights, frame and title bar included, but Qt sizes the
// client area. A window manager decorates the window only after it is shown, and may take
// the decoration off and put it back when the window is minimised and restored; until it
// has done so Qt reports no frame. So the frame is read again at every show, move, resize
// and state change, and the client height follows it.
bool CUpdateDlg::event(QEvent* event) {
    const bool handled = QDialog::event(event);
    switch (event->type()) {
    case QEvent::Move:
    case QEvent::Resize:
    case QEvent::WindowStateChange:
    case QEvent::ActivationChange:
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
    if (frame == m_frame && frameGeometry().height() == m_outerHeight)
        return;
    m_frame = frame;
    KeepOuterHeight();
    // The window starts centred on the screen, outer rectangle and all, which is known
    // only once the window manager has decorated it.
    if (m_centreWhenDecorated) {
        CentreOnScreen();
        m_centreWhenDecorated = frame.isNull();
    }
}

void CUpdateDlg::KeepOuterHeight() {
    if (isMinimized())
        return;
    const QMargins frame = windowHandle() ? windowHandle()->frameMargins() : QMargins();
    setFixedSize(width(), m_outerHeight - frame.top() - frame.bottom());
}

void CUpdateDlg::CentreOnScreen() {
    const QScreen* shownOn = screen() ? screen() : QGuiApplication::primaryScreen();
    if (!shownOn)
        return;
    QRect outer = frameGeometry();
    outer.moveCenter(shownOn->availableGeometry().center());
    move(outer.topLeft());
}
