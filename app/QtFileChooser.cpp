#include "app/QtFileChooser.h"

#include <QFileDialog>
#include <QFileInfo>

std::optional<std::string> QtFileChooser::ChooseFile() {
    QFileDialog dialog(m_owner);
    dialog.setAcceptMode(QFileDialog::AcceptOpen);
    dialog.setFileMode(QFileDialog::ExistingFile);
    // No name filter, no default suffix, no initial name; Qt's dialog has no read-only
    // check box to hide.
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    // QString to the local file system's bytes, so that any file name opens again.
    return QFileInfo(dialog.selectedFiles().constFirst())
        .absoluteFilePath()
        .toLocal8Bit()
        .toStdString();
}
