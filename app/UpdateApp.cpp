#include "app/UpdateApp.h"

#include "app/QtMessageBoxes.h"
#include "app/UpdateDlg.h"
#include "res/Resource.h"
#include "res/StringTable.h"

#include <QCoreApplication>

// Linux starts its sockets with the process: there is nothing to start, and it cannot fail.
bool AfxSocketInit() {
    return true;
}

void RunUpdateDialog() {
    CUpdateDlg dialog;
    dialog.exec();
}

CUpdateApp::CUpdateApp(std::function<bool()> startSockets, std::function<void()> runDialog)
    : m_startSockets(std::move(startSockets)), m_runDialog(std::move(runDialog)) {}

bool CUpdateApp::InitInstance() {
    if (!m_startSockets()) {
        QtMessageBoxes boxes(nullptr);
        boxes.ShowMessage(LoadResourceString(IDP_SOCKETS_INIT_FAILED),
                          QCoreApplication::applicationName().toStdString(), MessageButtons::Ok,
                          MessageIcon::Stop);
        m_exitCode = 1;
        return false;
    }
    m_runDialog();
    m_exitCode = 0;
    return false;
}
