#include "app/UpdateDlg.h"

#include <QWindow>

// The window has a fixed size and asks for no maximise button, yet Qt's own Wayland title
// bar shows one, and a compositor may be asked to maximise any window. weston ends a client
// whose surface does not take the size of its maximised state (a protocol error that would
// end the program, mid-flash too). So at a maximise request the size limits are lifted for
// the compositor's answer; once the window system reports the window maximised, it is asked
// back to its normal state, where the limits return.
namespace {
constexpr Qt::WindowStates LARGE_STATES = Qt::WindowMaximized | Qt::WindowFullScreen;
// How long a window system may take to answer a maximise request before the request is
// taken as refused (a window manager that keeps fixed-size windows as they are).
constexpr int MAXIMISE_ANSWER_MS = 1000;
} // namespace

void CUpdateDlg::WatchWindowState() {
    connect(windowHandle(), &QWindow::windowStateChanged, this, &CUpdateDlg::RefuseMaximised,
            Qt::UniqueConnection);
}

void CUpdateDlg::RefuseMaximised(Qt::WindowState state) {
    if (!LARGE_STATES.testFlag(state) || m_leavingMaximised)
        return;
    m_leavingMaximised = true;
    setMaximumSize(QWIDGETSIZE_MAX, QWIDGETSIZE_MAX);
    m_maximiseDeadline.start(MAXIMISE_ANSWER_MS);
}

void CUpdateDlg::FollowWindowState(bool fromWindowSystem) {
    if (!fromWindowSystem || !m_leavingMaximised)
        return;
    if (windowState() & LARGE_STATES) {
        // Answered: the normal state is asked for once this event has been handled.
        m_maximiseDeadline.stop();
        QMetaObject::invokeMethod(this, &CUpdateDlg::AskForNormalState, Qt::QueuedConnection);
        return;
    }
    EndMaximised();
}

// Both the native window and the widget keep a state of their own.
void CUpdateDlg::AskForNormalState() {
    windowHandle()->setWindowStates(windowHandle()->windowStates() & ~LARGE_STATES);
    setWindowState(windowState() & ~LARGE_STATES);
}

void CUpdateDlg::EndMaximised() {
    m_maximiseDeadline.stop();
    AskForNormalState();
    m_leavingMaximised = false;
    KeepOuterHeight();
    // The window manager gives the frame back in its own time.
    StartPlacementChecks();
}
