#include "app/DesktopHelpViewer.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

DesktopHelpViewer::DesktopHelpViewer(QStringList helpFolders, QString opener)
    : m_folders(std::move(helpFolders)), m_opener(std::move(opener)) {}

// An opener still running at the end (xdg-open waits for a browser it started itself) is
// stopped; the browser it started stays open.
DesktopHelpViewer::~DesktopHelpViewer() {
    for (const std::unique_ptr<QProcess>& opener : m_openers) {
        opener->disconnect();
        opener->kill();
        opener->waitForFinished();
    }
}

bool DesktopHelpViewer::DisplayTopic(std::string_view helpFile) {
    const QString page = FindHelpPage(helpFile);
    if (page.isEmpty())
        return false;
    if (m_opener.isEmpty())
        m_window.Show(page);
    else
        Open(page);
    return true;
}

// The opener's verdict comes when it ends (xdg-open says 3 when it finds no browser, 4 when
// the browser failed); the window does not wait for it.
void DesktopHelpViewer::Open(const QString& page) {
    auto opener = std::make_unique<QProcess>();
    QProcess* started = opener.get();
    QObject::connect(started, &QProcess::finished,
                     [this, started, page](int code, QProcess::ExitStatus status) {
                         OpenerEnded(started, status == QProcess::NormalExit && code == 0, page);
                     });
    QObject::connect(started, &QProcess::errorOccurred,
                     [this, started, page](QProcess::ProcessError error) {
                         if (error == QProcess::FailedToStart)
                             OpenerEnded(started, false, page);
                     });
    started->setStandardOutputFile(QProcess::nullDevice());
    started->setStandardErrorFile(QProcess::nullDevice());
    m_openers.push_back(std::move(opener));
    started->start(m_opener, {QUrl::fromLocalFile(page).toString()});
}

void DesktopHelpViewer::OpenerEnded(QProcess* opener, bool opened, const QString& page) {
    if (!opened)
        m_window.Show(page);
    for (auto it = m_openers.begin(); it != m_openers.end(); ++it) {
        if (it->get() == opener) {
            it->release()->deleteLater(); // it is still in the middle of its own signal
            m_openers.erase(it);
            break;
        }
    }
}

QString DesktopHelpViewer::FindHelpPage(std::string_view helpFile) const {
    const QString name =
        QString::fromUtf8(helpFile.data(), static_cast<qsizetype>(helpFile.size()));
    const QString page = QFileInfo(name).completeBaseName() + QStringLiteral(".html");
    for (const QString& folder : m_folders) {
        const QFileInfo candidate(QDir(folder), page);
        if (candidate.isFile())
            return candidate.absoluteFilePath();
    }
    return {};
}

QStringList DesktopHelpViewer::DefaultHelpFolders() {
    const QString programFolder = QCoreApplication::applicationDirPath();
    return {programFolder + QStringLiteral("/help"),
            programFolder + QStringLiteral("/../share/tq4800-update/help")};
}

// Without a desktop session (a platform plugin that draws off screen) no browser could show
// the page.
QString DesktopHelpViewer::DefaultOpener() {
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return {};
    return QStandardPaths::findExecutable(QStringLiteral("xdg-open"));
}
