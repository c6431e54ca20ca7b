#pragma once

#include "image/FileImageStream.h"
#include "image/ImageInfo.h"
#include "image/ImageProblem.h"
#include "image/ImageStream.h"
#include "status/StatusTable.h"

#include <cstddef>
#include <memory>
#include <string>

// Opens a firmware revision file for reading in binary mode; nullptr when it cannot be
// opened, and nullptr with errno 0 when it is not a regular file (a folder, a device, a
// FIFO or a socket).
std::unique_ptr<FileImageStream> OpenImageFile(const std::string& path);

// Releases image's buffers, clears it, then reads the header and the five segment records.
// 0, STATUS_FILE_CORRUPT (19) or STATUS_FILE_VALUE_TOO_LONG (20).
StatusCode LoadImageFile(ImageStream& stream, ImageInfo& image);
// The same, telling problem (when not nullptr) where and why a failed load stopped.
StatusCode LoadImageFile(ImageStream& stream, ImageInfo& image, ImageProblem* problem);

// Header lines are read in pieces of at most this many characters; the rest of a longer
// line is read as a line of its own.
inline constexpr std::size_t HEADER_LINE_LIMIT = 1022;
