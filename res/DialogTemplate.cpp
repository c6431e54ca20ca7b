#include "res/DialogTemplate.h"

#include "res/Resource.h"

namespace {
constexpr std::uint32_t EDIT_LINE = STYLE_BORDER | STYLE_READONLY;
constexpr std::uint32_t EDIT_BOX = STYLE_BORDER | STYLE_READONLY | STYLE_MULTILINE | STYLE_VSCROLL;
} // namespace

// The colons of the labels are full-width (U+FF1A), and "Revision" has a space before its
// own; the texts are shown exactly as written here.
const DialogControl UpdateDialogControls[DIALOG_CONTROL_COUNT] = {
    // clang-format off
    {IDC_DEVICE,       ControlKind::ComboBox,    "",                          38, 107, 178, 50, STYLE_TABSTOP | STYLE_SORTED | STYLE_VSCROLL},
    {IDC_BROWSE,       ControlKind::PushButton,  "...",                      251,  22,  13, 12, STYLE_TABSTOP},
    {IDC_UPDATE,       ControlKind::PushButton,  "Update",                   220, 107,  48, 24, STYLE_TABSTOP},
    {IDC_HELP_BUTTON,  ControlKind::PushButton,  "Help",                     237,   0,  38, 12, STYLE_TABSTOP},
    {IDC_MORE_INFO,    ControlKind::PushButton,  "More Info >>",             220, 136,  48, 12, STYLE_TABSTOP},
    {IDC_STATIC,       ControlKind::StaticText,  "Model：",                   15,  53,  37,  8, STYLE_ALIGN_RIGHT},
    {IDC_MODEL,        ControlKind::Edit,        "",                          52,  51,  44, 12, EDIT_LINE | STYLE_ALIGN_CENTER},
    {IDC_STATIC,       ControlKind::StaticText,  "Revision ：",              130,  53,  40,  8, STYLE_ALIGN_RIGHT},
    {IDC_REVISION,     ControlKind::Edit,        "",                         171,  51,  44, 12, EDIT_LINE | STYLE_ALIGN_CENTER},
    {IDC_PROGRESS,     ControlKind::ProgressBar, "Progress1",                 37, 122, 179,  9, STYLE_BORDER},
    {IDC_FILE_GROUP,   ControlKind::GroupBox,    "Select a file to download",  5,  10, 270, 26, STYLE_NONE},
    {IDC_DEVICE_LABEL, ControlKind::StaticText,  "Device：",                   5, 109,  33,  8, STYLE_ALIGN_RIGHT},
    {IDC_STATIC,       ControlKind::StaticText,  "File：",                    15,  24,  22,  8, STYLE_ALIGN_RIGHT},
    {IDC_FILE_PATH,    ControlKind::Edit,        "",                          37,  22, 213, 12, EDIT_LINE | STYLE_ALIGN_LEFT},
    {IDC_NOTICE,       ControlKind::Edit,        "",                          62, 151, 157, 12, STYLE_MULTILINE | STYLE_READONLY | STYLE_ALIGN_CENTER},
    {IDC_LOG,          ControlKind::Edit,        "",                           5, 165, 270, 67, EDIT_BOX | STYLE_AUTOHSCROLL | STYLE_ALIGN_LEFT},
    {IDC_SEPARATOR,    ControlKind::Frame,       "",                           5, 149, 270,  1, STYLE_NONE},
    {IDC_STATIC,       ControlKind::StaticText,  "Discription：",              5,  68,  47,  8, STYLE_ALIGN_RIGHT},
    {IDC_DESCRIPTION,  ControlKind::Edit,        "",                          52,  66, 196, 25, EDIT_BOX | STYLE_ALIGN_LEFT},
    {IDC_STATIC,       ControlKind::GroupBox,    "Firmware file Information",  5,  39, 270, 54, STYLE_NONE},
    {IDC_UPDATE_GROUP, ControlKind::GroupBox,    "Update",                     5,  95, 270, 39, STYLE_NONE},
    {IDC_STEP,         ControlKind::StaticText,  "5 / 5",                      5, 122,  33,  8, STYLE_ALIGN_CENTER},
    // clang-format on
};

const DialogTemplate UpdateDialogTemplate = {
    IDD_UPDATE_DIALOG, 283, 235, "Arial", 10, UpdateDialogControls, DIALOG_CONTROL_COUNT,
};
