#include "app/DesktopHelpViewer.h"

#include <QCoreApplication>
#include <QDesktopServices>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QStandardPaths>
#include <QUrl>

DesktopHelpViewer::DesktopHelpViewer(QStringList helpFolders) : m_folders(std::move(helpFolders)) {}

bool DesktopHelpViewer::Load() {
    // Without a desktop session (no display server, or a platform plugin that draws off
    // screen) nothing could show the page.
    const QString platform = QGuiApplication::platformName();
    if (platform == QLatin1String("offscreen") || platform == QLatin1String("minimal"))
        return false;
    return !QStandardPaths::findExecutable(QStringLiteral("xdg-open")).isEmpty();
}

bool DesktopHelpViewer::DisplayTopic(std::string_view helpFile) {
    const QString page = FindHelpPage(helpFile);
    if (page.isEmpty())
        return false;
    return QDesktopServices::openUrl(QUrl::fromLocalFile(page));
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

HtmlHelp& DesktopHtmlHelp() {
    static DesktopHelpViewer viewer(DesktopHelpViewer::DefaultHelpFolders());
    static HtmlHelp help(viewer);
    return help;
}
