#include "app/DialogUnits.h"

#include <QFontMetrics>
#include <QString>

namespace {
int MulDiv(int number, int numerator, int denominator) {
    const long long product = static_cast<long long>(number) * numerator;
    const long long half = denominator / 2;
    return static_cast<int>(product >= 0 ? (product + half) / denominator
                                         : (product - half) / denominator);
}
} // namespace

DialogBaseUnits BaseUnitsOf(const QFont& font) {
    // The average width over the 52 letters, rounded, as the template's platform takes it.
    static const QString letters =
        QStringLiteral("abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ");
    const QFontMetrics metrics(font);
    const int width = metrics.horizontalAdvance(letters);
    return {(width / 26 + 1) / 2, metrics.height()};
}

QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int width, int height) {
    return {MulDiv(x, units.cx, 4), MulDiv(y, units.cy, 8), MulDiv(width, units.cx, 4),
            MulDiv(height, units.cy, 8)};
}

QFont DialogFont(const char* face, int pointSize) {
    QFont font(QString::fromUtf8(face));
    font.setPixelSize(MulDiv(pointSize, 96, 72));
    font.setStyleHint(QFont::SansSerif);
    return font;
}
