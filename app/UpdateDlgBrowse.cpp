#include "app/SystemText.h"
#include "app/UpdateDlg.h"
#include "image/ImageFile.h"
#include "image/ValidateImage.h"
#include "res/Resource.h"

#include <QLineEdit>
#include <QPlainTextEdit>

void CUpdateDlg::OnBrowse() {
    Control(IDC_UPDATE)->setEnabled(false);
    const std::optional<std::string> path = m_files.ChooseFile();
    if (!path)
        return;
    std::unique_ptr<FileImageStream> file = OpenImageFile(*path);
    if (!file) {
        ShowMessage("Can't open file.", "Open Firmware Revision File", MessageButtons::Ok,
                    MessageIcon::Stop);
        return;
    }
    StatusCode status = LoadImageFile(*file, m_image);
    if (status == STATUS_COMPLETE)
        status = ValidateImage(m_image);
    if (status != STATUS_COMPLETE) {
        ReportStatus(status);
        return; // the file closes as it goes out of scope
    }
    qobject_cast<QLineEdit*>(Control(IDC_MODEL))
        ->setText(FromSystemText(FieldText(m_image.ModelName)));
    qobject_cast<QLineEdit*>(Control(IDC_REVISION))
        ->setText(FromSystemText(FieldText(m_image.ImageRev)));
    qobject_cast<QPlainTextEdit*>(Control(IDC_DESCRIPTION))
        ->setPlainText(FromSystemText(FieldText(m_image.UpdatedDescription)));
    qobject_cast<QLineEdit*>(Control(IDC_FILE_PATH))
        ->setText(QString::fromLocal8Bit(path->data(), static_cast<qsizetype>(path->size())));
    RememberLoadedFile(*path, file->Descriptor());
    Control(IDC_UPDATE)->setEnabled(true);
}

// The history records the bytes loaded: they are read again through the descriptor they were
// loaded with, before it is closed, so a file replaced or rewritten before Update is pressed
// is not what gets recorded.
void CUpdateDlg::RememberLoadedFile(const std::string& path, int descriptor) {
    m_imageFacts = m_history.FactsOfLoadedFile(path, descriptor, m_image);
}
