// Start-up: without the sockets layer only the box with string 103 appears and no window is
// made; with it, the window runs.

#include "WindowTestSupport.h"
#include "app/UpdateApp.h"

using StartupTest = WindowTest;

// The window runs only once the sockets layer has started; before it, nothing of the window
// exists, and the box with string 103 is the only thing shown.
TEST_F(StartupTest, TheWindowRunsOnlyWhenTheSocketsLayerStarts) {
    for (bool socketsStart : {false, true}) {
        int windowsRun = 0;
        CUpdateApp app([&] { return socketsStart; }, [&] { ++windowsRun; });
        BoxWatcher boxes;
        boxes.onShown = [] {
            const auto isWindow = [](QWidget* widget) { return qobject_cast<CUpdateDlg*>(widget); };
            return std::string(
                std::ranges::any_of(QApplication::topLevelWidgets(), isWindow) ? "window" : "");
        };

        EXPECT_FALSE(app.InitInstance());

        EXPECT_EQ(windowsRun, socketsStart ? 1 : 0);
        EXPECT_EQ(app.ExitCode() != 0, !socketsStart);
        ASSERT_EQ(boxes.seen.size(), socketsStart ? 0u : 1u);
        if (!socketsStart) {
            EXPECT_EQ(boxes.seen[0].text, "Windows sockets 啟始失敗。");
            EXPECT_EQ(boxes.seen[0].caption, QCoreApplication::applicationName().toStdString());
            EXPECT_EQ(boxes.seen[0].whenShown, "");
        }
    }
}
