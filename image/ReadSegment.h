#pragma once

#include "image/ImageInfo.h"
#include "image/ImageStream.h"

#include <cstdint>

enum class SegmentReadResult {
    Read,
    DoesNotFit, // L + 6 is larger than the buffer's capacity
    NoMemory,   // the buffer could not be allocated
    CutShort,   // the stream ended before L + 6 bytes
    SeekFailed, // the stream could not be positioned
};

// Reads the segment record that starts at position into segment: its fixed words, the
// type and flag bytes at 4 + L and 5 + L, then the whole record of L + 6 bytes into a
// zero-filled buffer of capacity bytes. The record fits when L <= capacity - 6.
SegmentReadResult ReadSegment(ImageStream& stream, std::uint64_t position, std::uint32_t capacity,
                              SegmentImage& segment);
