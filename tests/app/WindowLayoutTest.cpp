// What the operator sees of the window: its start-up state, the details area, the fonts,
// and a layout in which no text is cut off and every group box surrounds its fields.

#include "WindowTestSupport.h"
#include "res/Resource.h"

#include <QElapsedTimer>
#include <QFontInfo>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QStyle>
#include <QTest>
#include <QTextBlock>
#include <QTextLayout>
#include <QThread>
#include <QWindow>

namespace {
struct DetailsState {
    const char* buttonText;
    int height;
    QPoint log;
    QPoint notice;
};

bool OnDesktop() {
    return QGuiApplication::platformName() != QLatin1String("offscreen");
}

// Shows the window and, on a desktop, waits until its window manager has decorated it.
// Off screen there is no frame.
void ShowDecorated(CUpdateDlg& dialog) {
    dialog.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
    if (!OnDesktop())
        return;
    const auto decorated = [&] { return !dialog.windowHandle()->frameMargins().isNull(); };
    // A window manager that announces no frame extents (weston's for X windows) leaves Qt
    // to measure the frame, which it may not do for seconds; Qt may also read the frame as
    // none again while the window manager reparents the window.
    (void)QTest::qWaitFor(decorated);
    QTest::qWait(200);
    (void)QTest::qWaitFor(decorated);
}

// Every control the layout shows (collapsed, all but the log) lies inside the client area.
// The window is the layout's height in all, unless its frame leaves the layout too little
// room: then it is just as tall as the layout needs. The window manager answers a resize
// in its own time: the height may take a moment.
void ExpectDetails(CUpdateDlg& dialog, const DetailsState& state) {
    EXPECT_EQ(ControlOf<QPushButton>(dialog, IDC_MORE_INFO).text().toStdString(), state.buttonText);
    const auto heightOfLayout = [&] {
        const int needed = dialog.Control(IDC_NOTICE)->geometry().bottom() + 1;
        const int outer = dialog.frameGeometry().height();
        return outer == state.height || (outer > state.height && dialog.height() == needed);
    };
    (void)QTest::qWaitFor(heightOfLayout, 5000);
    EXPECT_TRUE(heightOfLayout()) << dialog.frameGeometry().height() << " high, client area "
                                  << dialog.height();
    EXPECT_EQ(dialog.Control(IDC_LOG)->pos(), state.log);
    EXPECT_EQ(dialog.Control(IDC_NOTICE)->pos(), state.notice);
    for (const DialogControls::Built& control : dialog.Controls().All()) {
        if (control.widget == dialog.Control(IDC_LOG) && state.log.y() >= state.height)
            continue;
        EXPECT_TRUE(dialog.rect().contains(control.widget->geometry()))
            << control.entry->text << " #" << control.entry->id << " at " << control.widget->y()
            << ", client area " << dialog.height() << " high";
    }
}

// Moves the window and returns its client rectangle once the window manager has placed and
// framed it there. The client rectangle, not the frame: a window manager that announces no
// frame extents leaves Qt to measure the frame, with its shadow, at one time and not at
// another.
QRect PlacedAt(CUpdateDlg& dialog, QPoint where) {
    dialog.move(where);
    QTest::qWait(200);
    (void)QTest::qWaitFor(
        [&] {
            return dialog.pos() == where &&
                   (!OnDesktop() || !dialog.windowHandle()->frameMargins().isNull());
        },
        5000);
    return dialog.geometry();
}

constexpr DetailsState COLLAPSED = {"More Info >>", 350, {9, 350}, {100, 300}};
constexpr DetailsState EXPANDED = {"More Info <<", 500, {9, 300}, {100, 450}};

// Where a control draws: a label only where its text goes, which the template lets start on
// a group box's edge as long as the text itself stays inside.
QRect InkOf(const QWidget& widget) {
    const auto* label = qobject_cast<const QLabel*>(&widget);
    if (!label)
        return widget.geometry();
    const QSize text = label->fontMetrics().size(0, label->text());
    return QStyle::alignedRect(Qt::LeftToRight, label->alignment(), text, label->geometry());
}

// How many characters of text no font reachable through the font fallback can draw:
// glyph 0 of a run is the empty box a font draws for a character it lacks.
int MissingGlyphs(const QString& text, const QFont& font) {
    QTextLayout layout(text, font);
    layout.beginLayout();
    layout.createLine();
    layout.endLayout();
    int missing = 0;
    for (const QGlyphRun& run : layout.glyphRuns())
        missing += static_cast<int>(run.glyphIndexes().count(0));
    return missing;
}

using WindowLayoutTest = WindowTest;
} // namespace

TEST_F(WindowLayoutTest, StartsCollapsedAndCentredWithUpdateDisabledAndFocusInTheFileField) {
    CUpdateDlg dialog;
    ShowDecorated(dialog);

    EXPECT_EQ(dialog.windowTitle().toStdString(), "Firmware Update Utility Version 1.0.0");
    ExpectDetails(dialog, COLLAPSED);
    const auto offCentre = [&] {
        return dialog.frameGeometry().center() - dialog.screen()->availableGeometry().center();
    };
    (void)QTest::qWaitFor([&] { return offCentre().manhattanLength() <= 2; }, 2500);
    EXPECT_LE(offCentre().manhattanLength(), 2) << offCentre().x() << ", " << offCentre().y();
    EXPECT_FALSE(dialog.Control(IDC_UPDATE)->isEnabled());
    EXPECT_EQ(dialog.focusWidget(), dialog.Control(IDC_FILE_PATH));
    EXPECT_EQ(ControlOf<QLabel>(dialog, IDC_STEP).text().toStdString(), "5 / 5");
    EXPECT_FALSE(ControlOf<QLineEdit>(dialog, IDC_NOTICE).text().isEmpty());

    const QList<QSize> iconSizes = dialog.windowIcon().availableSizes();
    EXPECT_TRUE(iconSizes.contains(QSize(32, 32)));
    EXPECT_TRUE(iconSizes.contains(QSize(16, 16)));
}

// Each switch keeps the outer height of the layout, the place and the width of the window.
TEST_F(WindowLayoutTest, MoreInfoKeepsHeightPlaceAndWidth) {
    CUpdateDlg dialog;
    ShowDecorated(dialog);
    const QRect before = PlacedAt(dialog, QPoint(123, 77));
    for (const DetailsState* expected : {&EXPANDED, &COLLAPSED, &EXPANDED}) {
        ControlOf<QPushButton>(dialog, IDC_MORE_INFO).click();
        ExpectDetails(dialog, *expected);
        EXPECT_EQ(dialog.geometry().topLeft(), before.topLeft());
        EXPECT_EQ(dialog.width(), before.width());
    }
}

// A minimise and restore in each layout keep its height, the place and the width. A Wayland
// client cannot restore itself once minimised: there is nothing to check there.
TEST_F(WindowLayoutTest, MinimisingKeepsHeightPlaceAndWidth) {
    if (QGuiApplication::platformName() == QLatin1String("wayland"))
        GTEST_SKIP() << "a Wayland client cannot restore a minimised window";
    CUpdateDlg dialog;
    ShowDecorated(dialog);
    const QRect before = PlacedAt(dialog, QPoint(123, 77));
    for (const DetailsState* expected : {&EXPANDED, &COLLAPSED}) {
        dialog.ShowMoreInfo(expected == &EXPANDED);
        dialog.showMinimized();
        if (OnDesktop())
            (void)QTest::qWaitFor([&] { return !dialog.windowHandle()->isExposed(); }, 1000);
        dialog.showNormal();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&dialog));
        ExpectDetails(dialog, *expected);
        EXPECT_EQ(dialog.geometry().topLeft(), before.topLeft());
        EXPECT_EQ(dialog.width(), before.width());
    }
}

// A maximise request, as a title bar's button makes it (to the native window) or as the
// program would (to the widget), idle or while segments are written, leaves the window
// alive, normal and in its layout. A window-system event must never end the program.
TEST_F(WindowLayoutTest, AMaximiseRequestLeavesTheWindowAsItWas) {
    CUpdateDlg dialog;
    ShowDecorated(dialog);
    for (bool updating : {false, true}) {
        for (bool fromTitleBar : {true, false}) {
            dialog.SetUpdating(updating);
            if (fromTitleBar)
                dialog.windowHandle()->setWindowStates(Qt::WindowMaximized);
            else
                dialog.showMaximized();
            // The transfer moves the progress bar and drains the window's events between
            // blocks: the window is drawn again, in whatever state the compositor left it.
            QElapsedTimer transfer;
            transfer.start();
            while (transfer.elapsed() < 300) {
                dialog.ProgressBar().StepIt();
                dialog.PumpMessages();
                QThread::msleep(10);
            }
            const auto normal = [&] {
                return !dialog.isMaximized() &&
                       !(dialog.windowHandle()->windowStates() & Qt::WindowMaximized);
            };
            EXPECT_TRUE(QTest::qWaitFor(normal, 3000)) << updating << fromTitleBar;
            EXPECT_TRUE(dialog.isVisible());
            ExpectDetails(dialog, COLLAPSED);
        }
    }
    dialog.SetUpdating(false);
}

TEST_F(WindowLayoutTest, BrowseButtonAndLogAreBoldCopiesOfTheDialogFont) {
    CUpdateDlg dialog;
    EXPECT_EQ(QFontInfo(dialog.font()).family().toStdString(), "Liberation Sans")
        << "install fonts-liberation: Arial's metrics lay the window out";
    for (int id : {IDC_BROWSE, IDC_LOG, IDC_UPDATE, IDC_DESCRIPTION}) {
        QFont expected = dialog.font();
        expected.setBold(id == IDC_BROWSE || id == IDC_LOG);
        EXPECT_EQ(dialog.Control(id)->font(), expected) << id;
    }
}

// A long description wraps within its field, which has no sideways scroll bar; a long log
// line is not wrapped, and the log scrolls sideways.
TEST_F(WindowLayoutTest, DescriptionWrapsAndTheLogScrollsSideways) {
    CUpdateDlg dialog;
    dialog.ShowMoreInfo(true);
    ShowDecorated(dialog);
    const QString longLine =
        QStringLiteral("Firmware for the TQ4800 with new measurement modes ").repeated(4);
    for (const auto& [id, wraps] : {std::pair{IDC_DESCRIPTION, true}, std::pair{IDC_LOG, false}}) {
        auto* edit = &ControlOf<QPlainTextEdit>(dialog, id);
        edit->setPlainText(longLine);
        QCoreApplication::processEvents();
        EXPECT_EQ(edit->document()->firstBlock().layout()->lineCount() > 1, wraps) << id;
        EXPECT_EQ(edit->horizontalScrollBar()->isVisible(), !wraps) << id;
        EXPECT_TRUE(edit->verticalScrollBar()->isVisible()) << id;
    }
}

// Texts fit their controls and have their glyphs (the labels' full-width colons come from a
// fallback font; without one they are boxes), and every control that the template puts
// inside a group box is inside the box's frame, below its title, on screen too.
TEST_F(WindowLayoutTest, TextsFitAndGroupBoxesSurroundTheirFields) {
    CUpdateDlg dialog;
    ShowDecorated(dialog);
    for (const DialogControls::Built& control : dialog.Controls().All()) {
        const char* text = control.entry->text;
        QWidget* widget = control.widget;
        EXPECT_EQ(MissingGlyphs(QString::fromUtf8(text), widget->font()), 0)
            << text << ": install fonts-sawarabi-gothic";
        if (qobject_cast<QLabel*>(widget) || qobject_cast<QPushButton*>(widget)) {
            EXPECT_LE(widget->fontMetrics().horizontalAdvance(QString::fromUtf8(text)),
                      widget->width() - 4)
                << text;
        }
    }
    for (QGroupBox* group : dialog.findChildren<QGroupBox*>()) {
        const QRect inside = group->geometry().marginsRemoved(QMargins(1, 1, 1, 1));
        const int titleBottom = group->y() + group->fontMetrics().height();
        for (QWidget* child : dialog.findChildren<QWidget*>(Qt::FindDirectChildrenOnly)) {
            if (child == group || !group->geometry().contains(child->geometry().center()) ||
                qobject_cast<QGroupBox*>(child))
                continue;
            EXPECT_TRUE(inside.contains(InkOf(*child)))
                << group->title().toStdString() << " / " << child->metaObject()->className();
            EXPECT_GE(child->y(), titleBottom) << group->title().toStdString();
        }
    }
}
