#pragma once

// Identifiers of the window's resources and controls.

inline constexpr int IDD_UPDATE_DIALOG = 102;
inline constexpr int IDP_SOCKETS_INIT_FAILED = 103;
inline constexpr int IDI_APP_ICON = 128;

inline constexpr int IDC_STATIC = -1;
inline constexpr int IDC_FILE_GROUP = 1000;
inline constexpr int IDC_UPDATE_GROUP = 1001;
inline constexpr int IDC_DEVICE_LABEL = 1005;
inline constexpr int IDC_FILE_PATH = 1006;
inline constexpr int IDC_STEP = 1007;
inline constexpr int IDC_UPDATE = 1009;
inline constexpr int IDC_HELP_BUTTON = 1010;
inline constexpr int IDC_BROWSE = 1034;
inline constexpr int IDC_REVISION = 1036;
inline constexpr int IDC_MODEL = 1038;
inline constexpr int IDC_DESCRIPTION = 1039;
inline constexpr int IDC_MORE_INFO = 1053;
inline constexpr int IDC_PROGRESS = 1055;
inline constexpr int IDC_DEVICE = 1060;
inline constexpr int IDC_LOG = 1062;
inline constexpr int IDC_NOTICE = 1063;
inline constexpr int IDC_SEPARATOR = 1064;
