// The log pane and status reporting: exact text kept, lines shown as lines, the last line
// in view, and the box of a failure shown before its number is logged.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace {
QPlainTextEdit& LogPaneOf(CUpdateDlg& dialog) {
    return *qobject_cast<QPlainTextEdit*>(dialog.Control(IDC_LOG));
}

bool LastLineInView(CUpdateDlg& dialog) {
    const QScrollBar& vertical = *LogPaneOf(dialog).verticalScrollBar();
    return vertical.maximum() > 0 && vertical.value() == vertical.maximum() &&
           LogPaneOf(dialog).horizontalScrollBar()->value() == 0;
}

using LogTest = WindowTest;
using namespace std::string_view_literals;
} // namespace

// A line end split between two pieces is still one line end; a piece ends at a NUL, as a
// reply of the instrument does.
TEST_F(LogTest, PiecesJoinIntoOneLineEndedByTheirOwnLineEnd) {
    CUpdateDlg dialog;
    for (const std::string_view piece : {"Connect ... "sv, "OK\r"sv, "\nTesting ... \0junk"sv})
        dialog.AppendLog(piece);
    EXPECT_EQ(dialog.LogText(), "Connect ... OK\r\nTesting ... ");
    EXPECT_EQ(LogPaneOf(dialog).toPlainText().toStdString(), "Connect ... OK\nTesting ... ");
}

TEST_F(LogTest, KeepsTheLastLineInViewWhileCollapsedAndExpanded) {
    CUpdateDlg dialog;
    dialog.show();
    for (bool expanded : {false, true}) {
        dialog.ShowMoreInfo(expanded);
        for (int i = 0; i < 60; ++i)
            dialog.AppendLog("ERAS: block " + std::to_string(i) + std::string(200, '.') + "\r\n");
        EXPECT_TRUE(LastLineInView(dialog)) << expanded;

        // Even an empty piece brings the last line back into view.
        LogPaneOf(dialog).verticalScrollBar()->setValue(0);
        LogPaneOf(dialog).horizontalScrollBar()->setValue(5);
        dialog.AppendLog("");
        EXPECT_TRUE(LastLineInView(dialog)) << expanded;
    }
}

// Every code of the table, and codes no table row has: a box exactly where the row says,
// with the log already empty while it is up, then the number alone in the log. A code
// without a box brings a collapsed log into view, and leaves an expanded one as it is.
TEST_F(LogTest, ReportStatusShowsTheBoxOfTheRowThenLogsTheNumber) {
    std::vector<StatusCode> codes;
    for (StatusCode code = 0; code < STATUS_TABLE_SIZE; ++code)
        codes.push_back(code);
    codes.insert(codes.end(), {-1, 22, 1000});

    for (StatusCode code : codes) {
        g_bMoreInfo = false;
        CUpdateDlg dialog;
        dialog.AppendLog("Connect ... OK\r\nTesting ... ");
        BoxWatcher boxes;
        boxes.onShown = [&dialog] { return dialog.LogText(); };
        dialog.ReportStatus(code);

        EXPECT_EQ(dialog.LogText(), "\r\nError number: " + std::to_string(code)) << code;
        const StatusRow* row = FindStatusRow(code);
        const bool boxShown = row && row->showInBox;
        EXPECT_EQ(dialog.Control(IDC_LOG)->y(), boxShown ? 350 : 300) << code;
        dialog.ReportStatus(code);
        EXPECT_EQ(dialog.Control(IDC_LOG)->y(), boxShown ? 350 : 300) << code;
        if (!boxShown) {
            EXPECT_TRUE(boxes.seen.empty()) << code;
            continue;
        }
        ASSERT_EQ(boxes.seen.size(), 2u) << code;
        EXPECT_EQ(boxes.seen[0].text, row->text);
        EXPECT_EQ(boxes.seen[0].caption, "Error");
        EXPECT_EQ(boxes.seen[0].icon, QMessageBox::Critical);
        EXPECT_EQ(boxes.seen[0].whenShown, "") << "the number is logged after the box";
    }
}
