// Start-up: without the sockets layer only the box with string 103 appears and no window is
// made; with it, the window runs modally and the process ends when it ends.

#include "WindowTestSupport.h"
#include "app/UpdateApp.h"

namespace {
bool AnyUpdateWindow() {
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (qobject_cast<CUpdateDlg*>(widget))
            return true;
    return false;
}

using StartupTest = WindowTest;
} // namespace

TEST_F(StartupTest, SocketsFailureShowsString103AndCreatesNoWindow) {
    int windowsRun = 0;
    CUpdateApp app([] { return false; }, [&] { ++windowsRun; });
    BoxWatcher boxes;
    boxes.onShown = [] { return std::string(AnyUpdateWindow() ? "window" : ""); };

    EXPECT_FALSE(app.InitInstance());

    EXPECT_EQ(windowsRun, 0);
    EXPECT_NE(app.ExitCode(), 0);
    ASSERT_EQ(boxes.seen.size(), 1u);
    EXPECT_EQ(boxes.seen[0].text, "Windows sockets 啟始失敗。");
    EXPECT_EQ(boxes.seen[0].caption, QCoreApplication::applicationName().toStdString());
    EXPECT_EQ(boxes.seen[0].whenShown, "");
}

TEST_F(StartupTest, RunsTheWindowModallyAndEndsWithIt) {
    bool sawWindow = false;
    CUpdateApp app([] { return true; }, RunUpdateDialog);
    BoxWatcher boxes;
    QTimer closer;
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (auto* dialog = qobject_cast<CUpdateDlg*>(QApplication::activeModalWidget())) {
            sawWindow = dialog->isVisible();
            dialog->close();
        }
    });
    closer.start(10);

    EXPECT_FALSE(app.InitInstance());

    EXPECT_TRUE(sawWindow);
    EXPECT_EQ(app.ExitCode(), 0);
    EXPECT_TRUE(boxes.seen.empty());
    EXPECT_FALSE(AnyUpdateWindow()) << "the window is destroyed when its run ends";
}
