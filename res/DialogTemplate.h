#pragma once

#include <cstdint>

// The main window's template: its size and font, and its 22 controls with positions and
// sizes in dialog units. A dialog unit is a quarter of the dialog font's average character
// width horizontally and an eighth of its character height vertically.

enum class ControlKind { ComboBox, PushButton, StaticText, Edit, ProgressBar, GroupBox, Frame };

// Style flags that change how a control is built.
enum ControlStyle : std::uint32_t {
    STYLE_NONE = 0,
    STYLE_TABSTOP = 1u << 0,
    STYLE_BORDER = 1u << 1,
    STYLE_MULTILINE = 1u << 2,
    STYLE_READONLY = 1u << 3,
    STYLE_VSCROLL = 1u << 4,
    STYLE_ALIGN_LEFT = 1u << 5,
    STYLE_ALIGN_CENTER = 1u << 6,
    STYLE_ALIGN_RIGHT = 1u << 7,
    STYLE_SORTED = 1u << 8, // combo box: items kept sorted
    STYLE_AUTOHSCROLL =
        1u << 9, // multi-line edit: lines are not wrapped, the field scrolls sideways
};

struct DialogControl {
    int id;
    ControlKind kind;
    const char* text; // UTF-8
    int x, y, width, height;
    std::uint32_t style;
};

struct DialogTemplate {
    int id;
    int width, height; // dialog units
    const char* fontFace;
    int fontPointSize;
    const DialogControl* controls; // in template order, which is also the tab order
    int controlCount;
};

inline constexpr int DIALOG_CONTROL_COUNT = 22;

extern const DialogControl UpdateDialogControls[DIALOG_CONTROL_COUNT];
extern const DialogTemplate UpdateDialogTemplate;
