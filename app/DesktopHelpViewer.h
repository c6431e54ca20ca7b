#pragma once

#include "app/HelpWindow.h"
#include "app/HtmlHelp.h"

#include <QString>
#include <QStringList>
#include <memory>
#include <vector>

class QProcess;

// The help viewer of a Linux desktop: the help is an HTML page, shown by the desktop's
// handler for it (xdg-open) where there is one, and in the utility's own help window when
// the desktop cannot open it. The help file's bare name is looked up, as an HTML page of
// the same stem, in the help folders of the installation.
class DesktopHelpViewer final : public HelpViewerLibrary {
public:
    // helpFolders: where the help pages are looked for, in order. opener: the program that
    // opens a page on the desktop, given the page's URL; empty when there is none.
    DesktopHelpViewer(QStringList helpFolders, QString opener);
    ~DesktopHelpViewer() override;

    // The utility's own window can always show the help.
    bool Load() override { return true; }
    // Hands the page to the opener and, when the opener cannot start or fails, shows it in
    // the own window. False only when there is no such page.
    bool DisplayTopic(std::string_view helpFile) override;

    // The folders of an installed or a built utility: help/ beside the program and the
    // shared data folder of the installation.
    static QStringList DefaultHelpFolders();
    // xdg-open, when there is a desktop to open the page on; empty otherwise.
    static QString DefaultOpener();
    // The page that stands for a help file name, or an empty text when there is none.
    QString FindHelpPage(std::string_view helpFile) const;

    const HelpWindow& OwnWindow() const { return m_window; }
    // Openers started that have not yet ended.
    int OpenersRunning() const { return static_cast<int>(m_openers.size()); }

private:
    void Open(const QString& page);
    void OpenerEnded(QProcess* opener, bool opened, const QString& page);

    QStringList m_folders;
    QString m_opener;
    HelpWindow m_window;
    std::vector<std::unique_ptr<QProcess>> m_openers;
};

// A desktop viewer with its binding, as the window uses it.
struct DesktopHelp {
    DesktopHelpViewer viewer{DesktopHelpViewer::DefaultHelpFolders(),
                             DesktopHelpViewer::DefaultOpener()};
    HtmlHelp help{viewer};
};
