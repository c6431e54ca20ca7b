#include "app/HelpWindow.h"

#include <QApplication>
#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>
#include <QWindow>

namespace {
constexpr int WIDTH = 640;
constexpr int HEIGHT = 560;

// A dialog-type window, so that window managers keep it above the window it stands over.
constexpr Qt::WindowFlags HELP_WINDOW_FLAGS =
    Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
    Qt::WindowMinMaxButtonsHint | Qt::WindowCloseButtonHint;
} // namespace

HelpWindow::HelpWindow() = default;
HelpWindow::~HelpWindow() = default;

void HelpWindow::Show(const QString& page) {
    if (!m_window) {
        m_window = std::make_unique<QTextBrowser>();
        m_window->setWindowFlags(HELP_WINDOW_FLAGS);
        m_window->setReadOnly(true);
        m_window->setOpenExternalLinks(true);
        m_window->resize(WIDTH, HEIGHT);
    }
    m_window->setSource(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
    m_window->setWindowTitle(m_window->documentTitle());
    StandOverModalWindow();
    m_window->show();
    m_window->raise();
    // A Wayland client cannot take the focus (Qt says so on standard error); the compositor
    // gives it to a new window.
    if (QGuiApplication::platformName() != QLatin1String("wayland"))
        m_window->activateWindow();
}

// The window that runs modally blocks the input of every other window but those that stand
// over it, and a window manager keeps it above them: the help window stands over it, so
// that it comes in front and can be read, scrolled and closed.
void HelpWindow::StandOverModalWindow() {
    QWidget* modal = QApplication::activeModalWidget();
    m_window->winId(); // the native window, whose transient parent is set
    m_window->windowHandle()->setTransientParent(modal ? modal->windowHandle() : nullptr);
}
