#include "app/UpdateDlg.h"

// The Update button: the whole update, from the search to the last flashed segment. It
// runs inside this handler; the transfer keeps the window alive by pumping its events.
void CUpdateDlg::OnUpdate() {
    const std::unique_ptr<UpdateJournal> journal = m_history.JournalFor(m_imageFacts);
    m_update.SetJournal(journal.get());
    m_update.OnUpdate();
    m_update.SetJournal(nullptr);
}

// The resource manager is open for the window's whole life; an instrument session only
// during an update.
void CUpdateDlg::OpenInstrumentLink() {
    m_session.OpenResourceManager();
}

// Closing the resource manager also ends every session still open through it.
void CUpdateDlg::CloseInstrumentLink() {
    m_session.CloseResourceManager();
}
