#include "app/TitleBarFont.h"

#include <QFontMetrics>
#include <QGuiApplication>
#include <algorithm>

namespace {
// GNOME's title bar font (org.gnome.desktop.wm.preferences titlebar-font), which mutter
// draws with on X11 and through XWayland.
constexpr char GNOME_FACE[] = "Cantarell";
constexpr int GNOME_POINT_SIZE = 11;
// Qt draws the title bar of a Wayland window itself, in the application font at 14 pixels.
constexpr int QT_WAYLAND_PIXEL_SIZE = 14;
} // namespace

std::vector<QFont> TitleBarFonts(const QFont& windowFont) {
    QFont bold = windowFont; // X window managers such as openbox: the window's font, bold
    bold.setBold(true);
    QFont gnome(QString::fromLatin1(GNOME_FACE), GNOME_POINT_SIZE, QFont::Bold);
    QFont qtWayland = QGuiApplication::font();
    qtWayland.setPixelSize(QT_WAYLAND_PIXEL_SIZE);
    return {bold, gnome, qtWayland};
}

CaptionExtent MeasureCaption(const QString& caption, const QFont& windowFont) {
    CaptionExtent extent;
    for (const QFont& font : TitleBarFonts(windowFont)) {
        const QFontMetrics metrics(font);
        extent.width = std::max(extent.width, metrics.horizontalAdvance(caption));
        extent.height = std::max(extent.height, metrics.height());
    }
    return extent;
}
