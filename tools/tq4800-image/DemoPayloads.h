#pragma once

#include "image/ImageWriter.h"

#include <array>
#include <cstddef>

// Demo segments: payloads of pseudo-random bytes, the same on every run, small enough that
// a demo update over the simulated instrument takes a few seconds.
struct DemoSegment {
    std::size_t payloadSize;
    const char* revision;
};

extern const std::array<DemoSegment, SEGMENT_COUNT> DemoSegments;

// Fills the payloads and revisions of the five segments.
void FillDemoSegments(ImageContents& contents);
