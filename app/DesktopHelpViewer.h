#pragma once

#include "app/HtmlHelp.h"

#include <QString>
#include <QStringList>

// The help viewer of a Linux desktop: the help is an HTML page shown by the desktop's
// handler for it (xdg-open, through QDesktopServices). The help file's bare name is looked
// up, as an HTML page of the same stem, in the help folders of the installation.
class DesktopHelpViewer final : public HelpViewerLibrary {
public:
    // helpFolders: where the help pages are looked for, in order.
    explicit DesktopHelpViewer(QStringList helpFolders);
    bool Load() override;
    bool DisplayTopic(std::string_view helpFile) override;

    // The folders of an installed or a built utility: help/ beside the program and the
    // shared data folder of the installation.
    static QStringList DefaultHelpFolders();
    // The page that stands for a help file name, or an empty text when there is none.
    QString FindHelpPage(std::string_view helpFile) const;

private:
    QStringList m_folders;
};

// The process-wide binding to the desktop's viewer.
HtmlHelp& DesktopHtmlHelp();
