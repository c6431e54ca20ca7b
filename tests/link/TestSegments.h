#pragma once

// Segment records built in code, as a firmware revision file would hold them.

#include "LoaderFrames.h"
#include "image/ImageInfo.h"

#include <cstddef>
#include <cstdint>

// Five header words (revision "2.00"), a patterned payload, then type and flag; the buffer
// has 16 spare zero bytes after the record.
inline SegmentImage MakeSegment(std::uint32_t length, std::uint8_t type = 14,
                                std::uint8_t flag = 1) {
    SegmentImage segment;
    segment.word0 = 0x01020304;
    segment.word1 = 0x05060708;
    segment.length = length;
    segment.type = type;
    segment.flag = flag;
    segment.byteCount = length + 6;
    segment.data.assign(std::size_t{length} + 6 + 16, 0);
    PutWord(segment.data, 0, segment.word0);
    PutWord(segment.data, 4, segment.word1);
    PutWord(segment.data, 8, length);
    for (std::uint32_t i = 12; i < length + 4; ++i)
        segment.data[i] = static_cast<std::uint8_t>(i * 7 + 3);
    const char revision[] = "2.00";
    for (std::size_t i = 0; i < 4 && 12 + i < std::size_t{length} + 4; ++i)
        segment.data[12 + i] = static_cast<std::uint8_t>(revision[i]);
    segment.data[length + 4] = type;
    segment.data[length + 5] = flag;
    return segment;
}
