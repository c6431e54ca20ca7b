#pragma once

#include <cstdint>

// The 32-bit wrapping sum of the big-endian words over count bytes, count rounded up to a
// multiple of 4: the caller's buffer must hold the rounded-up range. The loader in the
// instrument sums a segment the same way, from byte 8 of its record for L - 8 bytes.
std::uint32_t SumWords(const std::uint8_t* bytes, std::uint32_t count);

struct SegmentImage;

// The sum the transfer compares with the instrument's: SumWords over the record from byte 8
// for L - 8 bytes. False when L is below 8 or the range does not lie inside data.
bool SegmentChecksum(const SegmentImage& segment, std::uint32_t& sum);
