#pragma once

#include "image/ImageInfo.h"

#include <cstdint>
#include <string>

// What the history keeps of the firmware file of a run.
struct FirmwareFileFacts {
    std::string path;
    std::int64_t size = 0;
    std::string sha256; // lower-case hex; empty when the file could not be read
    std::string model;
    std::string revision;
};

// The facts of the file image was loaded from, read again through the descriptor it was
// loaded with: the bytes loaded, whatever the path holds by now. When the file cannot be read
// again, size and digest stay empty and problem says why.
FirmwareFileFacts DescribeLoadedFile(const std::string& path, int descriptor,
                                     const ImageInfo& image, std::string& problem);
