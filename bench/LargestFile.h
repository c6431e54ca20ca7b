#pragma once

// The file and the floor both update benchmarks measure against.

#include "image/ImageInfo.h"
#include "image/ImageWriter.h"

#include <cstdint>

// Every record at its largest accepted L: the whole record fills its region.
ImageContents LargestFile();

// What the fixed waits of one whole update of image add up to: 10 ms after every command
// frame and every data chunk, 2500 ms after the switch to the loader.
std::uint64_t FloorMs(const ImageInfo& image);

// User and system time of this process, or of its waited-for children, in seconds.
double CpuSeconds(bool children = false);
