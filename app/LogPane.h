#pragma once

#include <string>
#include <string_view>

class QPlainTextEdit;

// The log pane. Its text is the running log exactly as appended, lines ended by "\r\n";
// the pane shows each such line as one line.
class LogPane {
public:
    void Bind(QPlainTextEdit& edit) { m_edit = &edit; }

    // Adds text at the end as it is (nothing between pieces, no line end added), repaints
    // the pane at once and scrolls it to its last line and first column.
    void Append(std::string_view text);
    void Clear();
    const std::string& Text() const { return m_text; }

private:
    void ScrollToLastLine();

    QPlainTextEdit* m_edit = nullptr;
    std::string m_text;
};
