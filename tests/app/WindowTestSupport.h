#pragma once

// Shared pieces of the window tests: a watcher that answers the message boxes the window
// shows and records them, and the window's fixture.

#include "app/FileChooser.h"
#include "app/UpdateDlg.h"
#include "image/ImageTestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMessageBox>
#include <QTimer>
#include <QWindow>
#include <algorithm>
#include <deque>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <vector>

// Answers every message box as soon as it is on screen (OK, or Yes to a Yes/No box) and
// records what it showed.
class BoxWatcher {
public:
    struct Seen {
        std::string text, caption;
        QMessageBox::Icon icon;
        std::string whenShown; // what onShown returned while the box was up
        int width = 0;
        int captionWidth = 0; // of the caption in the widest font a desktop's title bar uses
        int textWidth = 0;
        QRect frame;                     // where the box is on screen, frame included
        QWindow* transientFor = nullptr; // the window the box stands over
    };

    BoxWatcher() {
        m_timer.setInterval(5);
        QObject::connect(&m_timer, &QTimer::timeout, [this] { AnswerVisibleBoxes(); });
        m_timer.start();
    }

    std::vector<Seen> seen;
    std::function<std::string()> onShown = [] { return std::string(); };

private:
    // The fonts title bars draw captions in: openbox the window's font in bold, GNOME's
    // mutter Cantarell Bold 11, Qt on Wayland (drawing the title bar itself) 14 pixels.
    static int WidestTitle(const QString& caption, const QFont& boxFont) {
        QFont openbox = boxFont;
        openbox.setBold(true);
        QFont qtWayland = QApplication::font();
        qtWayland.setPixelSize(14);
        int widest = 0;
        for (const QFont& font :
             {openbox, QFont(QStringLiteral("Cantarell"), 11, QFont::Bold), qtWayland})
            widest = std::max(widest, QFontMetrics(font).horizontalAdvance(caption));
        return widest;
    }

    void AnswerVisibleBoxes() {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            // Looked at once the desktop shows it: before that, it may not have its size yet.
            auto* box = qobject_cast<QMessageBox*>(widget);
            if (!box || !box->isVisible() || !box->windowHandle()->isExposed())
                continue;
            seen.push_back({box->text().toStdString(), box->windowTitle().toStdString(),
                            box->icon(), onShown(), box->width(),
                            WidestTitle(box->windowTitle(), box->font()),
                            box->fontMetrics().horizontalAdvance(box->text()), box->frameGeometry(),
                            box->windowHandle()->transientParent()});
            QAbstractButton* button = box->button(QMessageBox::Ok);
            if (!button)
                button = box->button(QMessageBox::Yes);
            button->click();
        }
    }

    QTimer m_timer;
};

// The window's control of that id, as the widget it is.
template <class Widget> Widget& ControlOf(const CUpdateDlg& dialog, int id) {
    return *qobject_cast<Widget*>(dialog.Control(id));
}

// Counts the events of one type that reach the objects it filters.
class EventCounter final : public QObject {
public:
    explicit EventCounter(QEvent::Type counted) : type(counted) {}
    bool eventFilter(QObject*, QEvent* event) override {
        count += event->type() == type ? 1 : 0;
        return false;
    }
    const QEvent::Type type;
    int count = 0;
};

// Gives the queued answers of the file dialog, then a cancel.
class ScriptedFileChooser final : public FileChooser {
public:
    std::optional<std::string> ChooseFile() override {
        if (answers.empty())
            return std::nullopt;
        std::optional<std::string> answer = answers.front();
        answers.pop_front();
        return answer;
    }
    std::deque<std::optional<std::string>> answers;
};

// A window with the layout collapsed, as at start, and a folder for its files. Every test
// leaves the layout collapsed for the next.
class WindowTest : public TempFolderTest {
protected:
    void TearDown() override {
        g_bMoreInfo = false;
        TempFolderTest::TearDown();
    }
};
