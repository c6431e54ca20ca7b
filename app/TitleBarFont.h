#pragma once

#include <QFont>
#include <QString>
#include <vector>

// The fonts in which the title bars of the desktops the window meets draw a caption. The
// window cannot learn which one will draw its title bar, so a caption is measured in each.
std::vector<QFont> TitleBarFonts(const QFont& windowFont);

// The widest the caption is drawn in any of those fonts, and the tallest of their lines.
struct CaptionExtent {
    int width = 0;
    int height = 0;
};
CaptionExtent MeasureCaption(const QString& caption, const QFont& windowFont);
