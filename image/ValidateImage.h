#pragma once

#include "image/ImageInfo.h"
#include "image/ImageProblem.h"
#include "status/StatusTable.h"

inline constexpr char MODEL_NAME[] = "TQ4800";
inline constexpr char UTILITY_VERSION[] = "1.0.0";

// Whether a loaded file may be offered for an update: 0, STATUS_FILE_CORRUPT (19) or
// STATUS_UTILITY_TOO_OLD (21).
// A segment whose L is below 8 is rejected with 19 after the other checks: it has no
// checksum range.
StatusCode ValidateImage(const ImageInfo& image);
// The same, telling problem (when not nullptr) which check failed and where.
StatusCode ValidateImage(const ImageInfo& image, ImageProblem* problem);
