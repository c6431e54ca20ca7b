#pragma once

#include "app/status/StatusTable.h"
#include "image/ImageInfo.h"
#include "image/ImageStream.h"

#include <memory>
#include <string>

// Opens a firmware revision file for reading in binary mode; nullptr when it cannot be
// opened.
std::unique_ptr<ImageStream> OpenImageFile(const std::string& path);

// Releases image's buffers, clears it, then reads the header and the five segment records.
// 0, STATUS_FILE_CORRUPT (19) or STATUS_FILE_VALUE_TOO_LONG (20).
StatusCode LoadImageFile(ImageStream& stream, ImageInfo& image);
