#pragma once

#include <QString>
#include <memory>

class QTextBrowser;

// The utility's own help window, for a desktop that cannot open the help page: a read-only
// HTML viewer in a top-level window of its own, no child of another window; shown while a
// window runs modally, it stands over that one. It is made at the first Show, reused after
// that, and closed when this object goes.
class HelpWindow {
public:
    HelpWindow();
    ~HelpWindow();

    // Shows the HTML page at this path and brings the window to the front.
    void Show(const QString& page);
    // The window once it has been made; nullptr before.
    QTextBrowser* Window() const { return m_window.get(); }

private:
    void StandOverModalWindow();

    std::unique_ptr<QTextBrowser> m_window;
};
