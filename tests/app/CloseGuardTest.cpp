// While segments are written, nothing ends the window: not the close box, not Esc, not
// Enter, even though the transfer hands them to the window while it drains events. Once the
// updating flag is cleared, each of them ends the window as usual.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QCloseEvent>
#include <QKeyEvent>
#include <QPushButton>
#include <QWindow>

namespace {
enum class Ending { CloseBox, Escape, Enter };

struct EndingCase {
    Ending ending;
    const char* name;
    int result; // what the modal run returns once the request is honoured
};

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

class CloseGuardTest : public WindowTest, public ::testing::WithParamInterface<EndingCase> {};
} // namespace

TEST_P(CloseGuardTest, RefusedDuringTheTransferAndHonouredAfterIt) {
    const EndingCase& request = GetParam();
    CUpdateDlg dialog;
    bool openThroughoutTransfer = true;

    // A stand-in for the Update handler: it runs inside the modal run and drains events
    // after every block written, as the segment transfer does.
    QTimer::singleShot(0, &dialog, [&] {
        dialog.SetUpdating(true);
        for (int block = 0; block < 3; ++block) {
            PostRequest(dialog, request.ending);
            dialog.PumpMessages();
            openThroughoutTransfer = openThroughoutTransfer && dialog.isVisible();
        }
        dialog.SetUpdating(false);
        PostRequest(dialog, request.ending);
    });
    // Should the request never be honoured, the test fails instead of hanging.
    QTimer::singleShot(5000, &dialog, [&] { dialog.done(-1); });

    const int result = dialog.exec();
    EXPECT_TRUE(openThroughoutTransfer);
    EXPECT_EQ(result, request.result);
}

INSTANTIATE_TEST_SUITE_P(EachWayOfEnding, CloseGuardTest,
                         ::testing::Values(EndingCase{Ending::CloseBox, "CloseBox", 0},
                                           EndingCase{Ending::Escape, "Escape", 0},
                                           EndingCase{Ending::Enter, "Enter", 1}),
                         [](const auto& info) { return std::string(info.param.name); });

using BusyGuardTest = WindowTest;

// Only "..." and Update are held during an update; More Info and Help stay usable.
TEST_F(BusyGuardTest, DisablesAndEnablesBrowseAndUpdateOnly) {
    CUpdateDlg dialog;
    dialog.SetBusy();
    EXPECT_FALSE(dialog.Control(IDC_BROWSE)->isEnabled());
    EXPECT_FALSE(dialog.Control(IDC_UPDATE)->isEnabled());
    EXPECT_TRUE(dialog.Control(IDC_MORE_INFO)->isEnabled());
    EXPECT_TRUE(dialog.Control(IDC_HELP_BUTTON)->isEnabled());
    dialog.ClearBusy();
    EXPECT_TRUE(dialog.Control(IDC_BROWSE)->isEnabled());
    EXPECT_TRUE(dialog.Control(IDC_UPDATE)->isEnabled());
}
