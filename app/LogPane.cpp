#include "app/LogPane.h"

#include "app/SystemText.h"

#include <QPlainTextEdit>
#include <QScrollBar>
#include <QTextCursor>

namespace {
// A text document breaks a line at "\r" as well as at "\n", so "\r\n" would show as two
// line ends. The pane is given the text without carriage returns; the log keeps them.
QString ShownText(std::string_view text) {
    QString shown = FromSystemText(text);
    shown.remove(QLatin1Char('\r'));
    return shown;
}
} // namespace

void LogPane::Append(std::string_view text) {
    text = text.substr(0, text.find('\0'));
    m_text.append(text);
    QTextCursor end(m_edit->document());
    end.movePosition(QTextCursor::End);
    end.insertText(ShownText(text));
    ScrollToLastLine();
    // The caller goes on working without handling events; show the text now.
    m_edit->viewport()->repaint();
}

void LogPane::Clear() {
    m_text.clear();
    m_edit->clear();
}

void LogPane::ScrollToLastLine() {
    m_edit->horizontalScrollBar()->setValue(0);
    m_edit->verticalScrollBar()->setValue(m_edit->verticalScrollBar()->maximum());
}
