// Help: the viewer is bound at the first click and a failed binding is remembered; without
// a viewer Help does nothing at all, every time. A desktop that cannot open the page leaves
// it to the utility's own window. The help page explains every error number as the status
// table words it.

#include "WindowTestSupport.h"
#include "app/DesktopHelpViewer.h"
#include "app/HtmlHelp.h"
#include "res/Resource.h"

#include <QFile>
#include <QPointer>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBrowser>

namespace {
// A viewer that is there or not, recording its calls: "load", and the topics shown.
struct FakeViewerLibrary final : HelpViewerLibrary {
    bool Load() override {
        calls.emplace_back("load");
        return present;
    }
    bool DisplayTopic(std::string_view helpFile) override {
        calls.emplace_back(helpFile);
        return true;
    }
    bool present = true;
    std::vector<std::string> calls;
};

using HelpTest = WindowTest;
} // namespace

// The viewer is looked for once; when it is there each click shows the help file, when it
// is not Help does nothing at all, every time.
TEST_F(HelpTest, TheViewerIsBoundOnceAndWithoutItHelpDoesNothing) {
    for (bool present : {true, false}) {
        FakeViewerLibrary library;
        library.present = present;
        HtmlHelp help(library);
        CUpdateDlg dialog({nullptr, &help});
        dialog.show();
        BoxWatcher boxes;
        const auto windowsBefore = QApplication::topLevelWidgets().size();
        for (int click = 0; click < 2; ++click)
            ControlOf<QPushButton>(dialog, IDC_HELP_BUTTON).click();
        QCoreApplication::processEvents();
        const std::vector<std::string> calls{"load", "UpdateUtilityHelp.chm",
                                             "UpdateUtilityHelp.chm"};
        EXPECT_EQ(library.calls, present ? calls : std::vector<std::string>{"load"});
        EXPECT_TRUE(boxes.seen.empty());
        EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
        EXPECT_TRUE(dialog.LogText().empty());
    }
}

// The desktop opens the page when its opener succeeds; when there is no opener, or it
// cannot start, or it fails (no browser), the page is shown in the utility's own read-only
// window, which belongs to no other window, is reused, and is closed with the viewer.
TEST_F(HelpTest, TheOwnWindowShowsThePageWhenTheDesktopCannot) {
    for (const auto& [opener, ownWindow] :
         {std::pair{"", true}, std::pair{"/bin/false", true},
          std::pair{"/nonexistent/xdg-open", true}, std::pair{"/bin/true", false}}) {
        QPointer<QTextBrowser> window;
        {
            DesktopHelpViewer viewer(
                {QStringLiteral("/nonexistent"), QStringLiteral(TQ4800_HELP_DIR)},
                QString::fromUtf8(opener));
            EXPECT_FALSE(viewer.DisplayTopic("Other.chm"));
            for (int click = 0; click < 2; ++click) {
                EXPECT_TRUE(viewer.DisplayTopic("UpdateUtilityHelp.chm")) << opener;
                ASSERT_TRUE(QTest::qWaitFor([&] { return viewer.OpenersRunning() == 0; }))
                    << opener;
            }
            window = viewer.OwnWindow().Window();
            EXPECT_EQ(window && window->isVisible(), ownWindow) << opener;
            if (window) {
                EXPECT_EQ(window->parentWidget(), nullptr);
                EXPECT_TRUE(window->isReadOnly());
                EXPECT_EQ(window->windowTitle().toStdString(), "Firmware Update Utility");
                EXPECT_TRUE(window->toPlainText().contains(QStringLiteral("Error numbers")));
            }
        }
        EXPECT_TRUE(window.isNull()) << opener;
    }
}

// The window runs modally and blocks every other window; the own help window, opened from
// it, stands over it (so window managers keep it in front), takes keys (the page scrolls)
// and is never blocked, so its close box works.
TEST_F(HelpTest, TheOwnWindowTakesInputWhileTheWindowIsModal) {
    DesktopHelpViewer viewer({QStringLiteral(TQ4800_HELP_DIR)}, QString());
    HtmlHelp help(viewer);
    CUpdateDlg dialog({nullptr, &help});
    EventCounter blocks(QEvent::WindowBlocked);
    int scrolledBy = 0;
    bool standsOver = false;
    QTimer::singleShot(0, &dialog, [&] {
        ControlOf<QPushButton>(dialog, IDC_HELP_BUTTON).click();
        QTextBrowser* window = viewer.OwnWindow().Window();
        window->installEventFilter(&blocks);
        window->resize(window->width(), 200);
        EXPECT_TRUE(QTest::qWaitForWindowExposed(window));
        standsOver = window->windowHandle()->transientParent() == dialog.windowHandle();
        const int before = window->verticalScrollBar()->value();
        QTest::keyClick(window->windowHandle(), Qt::Key_PageDown);
        scrolledBy = window->verticalScrollBar()->value() - before;
        dialog.done(0);
    });
    QTimer::singleShot(10000, &dialog, [&] { dialog.done(-1); });
    EXPECT_EQ(dialog.exec(), 0);
    EXPECT_TRUE(standsOver);
    EXPECT_GT(scrolledBy, 0);
    EXPECT_EQ(blocks.count, 0);
}

TEST_F(HelpTest, ThePageExplainsEveryErrorNumberWithTheTableText) {
    QFile page(QStringLiteral(TQ4800_HELP_DIR "/UpdateUtilityHelp.html"));
    ASSERT_TRUE(page.open(QIODevice::ReadOnly));
    const QString html = QString::fromUtf8(page.readAll());
    for (StatusCode code = 1; code < STATUS_TABLE_SIZE; ++code) {
        const std::string_view text = StatusText(code);
        const QString row =
            QStringLiteral("<td class=\"code\">%1</td><td>%2</td>")
                .arg(code)
                .arg(text.empty()
                         ? QStringLiteral("(no message)")
                         : QString::fromUtf8(text.data(), qsizetype(text.size())).toHtmlEscaped());
        EXPECT_TRUE(html.contains(row)) << row.toStdString();
    }
}
