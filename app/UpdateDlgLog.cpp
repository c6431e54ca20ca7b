#include "app/UpdateDlg.h"

#include <string>

void CUpdateDlg::AppendLog(std::string_view text) {
    m_log.Append(text);
}

void CUpdateDlg::ClearLog() {
    m_log.Clear();
}

// A code outside the table has no row: it is logged by its number alone, without a box.
// A code without a box is told by the log alone, so a collapsed window shows its log.
void CUpdateDlg::ReportStatus(StatusCode code) {
    m_log.Clear();
    const StatusRow* row = FindStatusRow(code);
    if (row && row->showInBox)
        ShowMessage(row->text, "Error", MessageButtons::Ok, MessageIcon::Stop);
    else if (!g_bMoreInfo)
        OnMoreInfo();
    AppendLog("\r\nError number: " + std::to_string(code));
}
