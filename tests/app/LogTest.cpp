// The log pane and status reporting: exact text kept, lines shown as lines, the last line
// in view, and the box of a failure shown before its number is logged.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QPlainTextEdit>
#include <QScrollBar>

namespace {
bool LastLineInView(CUpdateDlg& dialog) {
    const QScrollBar& vertical = *ControlOf<QPlainTextEdit>(dialog, IDC_LOG).verticalScrollBar();
    return vertical.maximum() > 0 && vertical.value() == vertical.maximum() &&
           ControlOf<QPlainTextEdit>(dialog, IDC_LOG).horizontalScrollBar()->value() == 0;
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
    EXPECT_EQ(ControlOf<QPlainTextEdit>(dialog, IDC_LOG).toPlainText().toStdString(),
              "Connect ... OK\nTesting ... ");
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
        ControlOf<QPlainTextEdit>(dialog, IDC_LOG).verticalScrollBar()->setValue(0);
        ControlOf<QPlainTextEdit>(dialog, IDC_LOG).horizontalScrollBar()->setValue(5);
        dialog.AppendLog("");
        EXPECT_TRUE(LastLineInView(dialog)) << expanded;
    }
}

// Every code of the table, and the codes just outside it: a box exactly where the row says,
// with the log already empty while it is up, then the number alone in the log. A code
// without a box brings a collapsed log into view, and leaves an expanded one as it is.
TEST_F(LogTest, ReportStatusShowsTheBoxOfTheRowThenLogsTheNumber) {
    for (StatusCode code = -1; code <= STATUS_TABLE_SIZE; ++code) {
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
