// While segments are written, nothing ends the window: not the close box, not Esc, not
// Enter, even though the transfer hands them to the window while it drains events. Once the
// updating flag is cleared, each of them ends the window as usual.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QWindow>

namespace {
enum class Ending { CloseBox, Escape, Enter };

// Queues the request the way it arrives from the desktop, to be handled at the next drain.
void PostRequest(CUpdateDlg& dialog, Ending ending) {
    if (ending == Ending::CloseBox) {
        QCoreApplication::postEvent(dialog.windowHandle(), new QCloseEvent);
        return;
    }
    const int key = ending == Ending::Escape ? Qt::Key_Escape : Qt::Key_Return;
    QWidget* target = dialog.focusWidget() ? dialog.focusWidget() : &dialog;
    QCoreApplication::postEvent(target, new QKeyEvent(QEvent::KeyPress, key, Qt::NoModifier));
}

using CloseGuardTest = WindowTest;
} // namespace

// The close box and Esc end the modal run with 0, Enter with 1.
TEST_F(CloseGuardTest, RefusedDuringTheTransferAndHonouredAfterIt) {
    for (const auto& [ending, result] :
         {std::pair{Ending::CloseBox, 0}, std::pair{Ending::Escape, 0},
          std::pair{Ending::Enter, 1}}) {
        CUpdateDlg dialog;
        bool openThroughoutTransfer = true;

        // A stand-in for the Update handler: it runs inside the modal run and drains events
        // after every block written, as the segment transfer does.
        QTimer::singleShot(0, &dialog, [&] {
            dialog.SetUpdating(true);
            for (int block = 0; block < 3; ++block) {
                PostRequest(dialog, ending);
                dialog.PumpMessages();
                openThroughoutTransfer = openThroughoutTransfer && dialog.isVisible();
            }
            dialog.SetUpdating(false);
            PostRequest(dialog, ending);
        });
        // Should the request never be honoured, the test fails instead of hanging.
        QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); });

        EXPECT_EQ(dialog.exec(), result) << static_cast<int>(ending);
        EXPECT_TRUE(openThroughoutTransfer) << static_cast<int>(ending);
    }
}

using BusyGuardTest = WindowTest;

// Only "..." and Update are held during an update; More Info and Help stay usable.
TEST_F(BusyGuardTest, DisablesAndEnablesBrowseAndUpdateOnly) {
    CUpdateDlg dialog;
    for (bool busy : {true, false}) {
        busy ? dialog.SetBusy() : dialog.ClearBusy();
        for (int id : {IDC_BROWSE, IDC_UPDATE, IDC_MORE_INFO, IDC_HELP_BUTTON})
            EXPECT_EQ(dialog.Control(id)->isEnabled(),
                      !busy || id == IDC_MORE_INFO || id == IDC_HELP_BUTTON)
                << id;
    }
}
