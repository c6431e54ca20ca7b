// The Device list, the progress bar and the message boxes as the update sequence drives
// them, on the window's own controls.

#include "WindowTestSupport.h"
#include "fakes/Fakes.h"
#include "res/Resource.h"

#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QTest>

using DeviceListTest = WindowTest;
using ProgressTest = WindowTest;
using MessageBoxTest = WindowTest;

// Names sorted without regard to case; adding selects nothing; the remembered text picks
// the first entry beginning with it, else the first entry; the text shown is cut at 254.
TEST_F(DeviceListTest, SortsSelectsByPrefixAndCutsTheShownText) {
    CUpdateDlg dialog;
    DeviceList& devices = dialog.Devices();
    for (const char* name :
         {"USB0::0x1D7A::0x52C1::TW00000003::INSTR", "usb0::0x1d7a::0x52c1::tw00000001::instr",
          "USB0::0x1D7A::0x52C1::TW00000002::INSTR"})
        devices.AddString(name);
    EXPECT_EQ(devices.CurrentText(), "");
    const std::pair<const char*, const char*> cases[] = {
        {"USB0::0x1D7A::0x52C1::TW00000002::INSTR", "USB0::0x1D7A::0x52C1::TW00000002::INSTR"},
        {"usb0::0x1d7a::0x52c1::tw00000003", "USB0::0x1D7A::0x52C1::TW00000003::INSTR"},
        {"USB0::0x1D7A::0x52C1::TW00000009::INSTR", "usb0::0x1d7a::0x52c1::tw00000001::instr"},
        {"", "usb0::0x1d7a::0x52c1::tw00000001::instr"},
    };
    for (const auto& [prefix, selected] : cases) {
        devices.SelectPrefixOrFirst(prefix);
        EXPECT_EQ(devices.CurrentText(), selected) << prefix;
    }
    devices.ResetContent();
    EXPECT_EQ(devices.Count(), 0);
    devices.AddString(std::string(300, 'A'));
    devices.SelectPrefixOrFirst("");
    EXPECT_EQ(devices.CurrentText(), std::string(254, 'A'));
}

TEST_F(ProgressTest, PositionStaysInRangeAndStepItWrapsPastTheTop) {
    CUpdateDlg dialog;
    auto& bar = ControlOf<QProgressBar>(dialog, IDC_PROGRESS);
    Progress& progress = dialog.ProgressBar();
    progress.SetRange(0, 65535);
    progress.SetPos(70000);
    EXPECT_EQ(bar.value(), 65535);
    EXPECT_EQ(bar.maximum(), 65535);

    progress.SetRange(0, 10);
    progress.SetPos(-5);
    EXPECT_EQ(bar.value(), 0);
    progress.SetStep(4);
    for (int position : {4, 8, 2, 6}) {
        progress.StepIt();
        EXPECT_EQ(bar.value(), position);
    }

    // An empty range is an empty bar, not Qt's busy animation.
    progress.SetRange(0, 0);
    EXPECT_LT(bar.minimum(), bar.maximum());
    EXPECT_EQ(bar.value(), bar.minimum());

    dialog.StepCounter().SetStepText("3 / 5");
    EXPECT_EQ(ControlOf<QLabel>(dialog, IDC_STEP).text().toStdString(), "3 / 5");
}

// A box stands over the window (on X, where a client learns positions, its middle lies on
// the window), and is wide enough for its caption beside a title bar's icon and buttons,
// however short its text (a title bar would cut the caption otherwise), and for its text.
TEST_F(MessageBoxTest, SitOverTheWindowWideEnoughForTheirCaptions) {
    const std::pair<const char*, const char*> boxes[] = {
        {"Can't open file.", "Open Firmware Revision File"},
        {"Are you sure you want to update TQ4800 SN:TW00012345?", "Confirm Firmware Update"},
    };
    CUpdateDlg dialog;
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    BoxWatcher watcher;
    for (const auto& [text, caption] : boxes)
        dialog.ShowMessage(text, caption, MessageButtons::Ok, MessageIcon::Information);
    ASSERT_EQ(watcher.seen.size(), std::size(boxes));
    const bool positionsKnown = QGuiApplication::platformName() == QLatin1String("xcb");
    // Qt's Wayland title bar: minimise, maximise and close buttons and a margin take 74
    // pixels at the right, and the caption is centred.
    constexpr int TITLE_BAR_BUTTONS = 74;
    for (const BoxWatcher::Seen& box : watcher.seen) {
        EXPECT_GE(box.width, box.captionWidth + 2 * TITLE_BAR_BUTTONS) << box.caption;
        EXPECT_GT(box.width, box.textWidth) << box.text;
        EXPECT_EQ(box.transientFor, dialog.windowHandle()) << box.caption;
        if (positionsKnown) {
            EXPECT_TRUE(dialog.frameGeometry().contains(box.frame.center()))
                << box.caption << " at " << box.frame.x() << ", " << box.frame.y();
        }
    }
}

// The update's waits block without handling events: a box dismissed before one would stay
// drawn over the window for the whole wait. The window is repainted, the fields too, before
// the first wait after a box, and the wait is the blocking one of the clock it was given.
TEST_F(MessageBoxTest, TheWindowIsRepaintedBeforeTheWaitAfterABox) {
    FakeClock clock;
    CUpdateDlg dialog({nullptr, nullptr, &clock});
    dialog.show();
    QCoreApplication::processEvents();
    EventCounter paints(QEvent::Paint);
    ControlOf<QPlainTextEdit>(dialog, IDC_DESCRIPTION).viewport()->installEventFilter(&paints);
    BoxWatcher watcher;
    const auto paintsDuringWait = [&](std::uint32_t ms) {
        paints.count = 0;
        dialog.UpdateClock().SleepMs(ms);
        return paints.count;
    };
    EXPECT_EQ(paintsDuringWait(10), 0);
    dialog.ShowMessage("Are you sure?", "Confirm Firmware Update", MessageButtons::YesNo,
                       MessageIcon::Question);
    EXPECT_EQ(paintsDuringWait(2500), 1);
    EXPECT_EQ(paintsDuringWait(10), 0);
    EXPECT_EQ(clock.sleeps, (std::vector<std::uint32_t>{10, 2500, 10}));
}
