#pragma once

#include "app/status/StatusTable.h"
#include "image/ImageInfo.h"

inline constexpr char MODEL_NAME[] = "TQ4800";
inline constexpr char UTILITY_VERSION[] = "1.0.0";

// Whether a loaded file may be offered for an update: 0, STATUS_FILE_CORRUPT (19) or
// STATUS_UTILITY_TOO_OLD (21).
StatusCode ValidateImage(const ImageInfo& image);
