#pragma once

#include <QFont>
#include <QRect>

// The dialog font's base units: the average character width and the character height in
// pixels. Dialog units convert to pixels as x * cx / 4 and y * cy / 8.
struct DialogBaseUnits {
    int cx = 0;
    int cy = 0;
};

DialogBaseUnits BaseUnitsOf(const QFont& font);

// A rectangle in dialog units as pixels, rounded to the nearest pixel as the template's own
// platform does (its MulDiv rounds halves away from zero).
QRect MapDialogRect(const DialogBaseUnits& units, int x, int y, int width, int height);

// The dialog font of the window template: Arial at 10 point on a 96 dpi screen, that is
// 13 pixels. Where Arial is not installed, fontconfig gives the metric-compatible Liberation
// Sans.
QFont DialogFont(const char* face, int pointSize);
