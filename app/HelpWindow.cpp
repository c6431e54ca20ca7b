#include "app/HelpWindow.h"

#include <QFileInfo>
#include <QTextBrowser>
#include <QUrl>

namespace {
constexpr int WIDTH = 640;
constexpr int HEIGHT = 560;
} // namespace

HelpWindow::HelpWindow() = default;
HelpWindow::~HelpWindow() = default;

void HelpWindow::Show(const QString& page) {
    if (!m_window) {
        m_window = std::make_unique<QTextBrowser>();
        m_window->setReadOnly(true);
        m_window->setOpenExternalLinks(true);
        m_window->resize(WIDTH, HEIGHT);
    }
    m_window->setSource(QUrl::fromLocalFile(QFileInfo(page).absoluteFilePath()));
    m_window->setWindowTitle(m_window->documentTitle());
    m_window->show();
    m_window->raise();
    m_window->activateWindow();
}
