// Help: the viewer is bound at the first click and a failed binding is remembered; without
// a viewer Help does nothing at all, every time. The help page explains every error number
// as the status table words it.

#include "WindowTestSupport.h"
#include "app/DesktopHelpViewer.h"
#include "app/HtmlHelp.h"
#include "res/Resource.h"

#include <QFile>
#include <QPushButton>

namespace {
class FakeViewerLibrary final : public HelpViewerLibrary {
public:
    explicit FakeViewerLibrary(bool present) : m_present(present) {}
    bool Load() override {
        ++loads;
        return m_present;
    }
    bool DisplayTopic(std::string_view helpFile) override {
        shown.emplace_back(helpFile);
        return true;
    }
    int loads = 0;
    std::vector<std::string> shown;

private:
    bool m_present;
};

void ClickHelp(CUpdateDlg& dialog, int times) {
    for (int i = 0; i < times; ++i)
        qobject_cast<QPushButton*>(dialog.Control(IDC_HELP_BUTTON))->click();
}

using HelpTest = WindowTest;
} // namespace

// The viewer is looked for once; when it is there each click shows the help file, when it
// is not Help does nothing at all, every time.
TEST_F(HelpTest, TheViewerIsBoundOnceAndWithoutItHelpDoesNothing) {
    for (bool present : {true, false}) {
        FakeViewerLibrary library(present);
        HtmlHelp help(library);
        CUpdateDlg dialog({nullptr, &help});
        dialog.show();
        BoxWatcher boxes;
        const auto windowsBefore = QApplication::topLevelWidgets().size();
        ClickHelp(dialog, 2);
        QCoreApplication::processEvents();
        EXPECT_EQ(library.loads, 1);
        EXPECT_EQ(library.shown, present ? std::vector<std::string>(2, "UpdateUtilityHelp.chm")
                                         : std::vector<std::string>{});
        EXPECT_TRUE(boxes.seen.empty());
        EXPECT_EQ(QApplication::topLevelWidgets().size(), windowsBefore);
        EXPECT_TRUE(dialog.LogText().empty());
    }
}

// Off screen there is no desktop to show the page: the real viewer stays silent too.
TEST_F(HelpTest, TheDesktopViewerFindsThePageAndFailsQuietlyWithoutADesktop) {
    DesktopHelpViewer viewer({QStringLiteral("/nonexistent"), QStringLiteral(TQ4800_HELP_DIR)});
    EXPECT_EQ(viewer.FindHelpPage("UpdateUtilityHelp.chm"),
              QStringLiteral(TQ4800_HELP_DIR "/UpdateUtilityHelp.html"));
    EXPECT_TRUE(viewer.FindHelpPage("Other.chm").isEmpty());
    EXPECT_FALSE(viewer.Load());

    CUpdateDlg dialog; // the process-wide desktop viewer
    BoxWatcher boxes;
    ClickHelp(dialog, 2);
    QCoreApplication::processEvents();
    EXPECT_TRUE(boxes.seen.empty());
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
