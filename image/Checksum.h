#pragma once

#include <cstdint>

// The 32-bit wrapping sum of the big-endian words over count bytes, count rounded up to a
// multiple of 4: the caller's buffer must hold the rounded-up range. The loader in the
// instrument sums a segment the same way, from byte 8 of its record for L - 8 bytes.
std::uint32_t SumWords(const std::uint8_t* bytes, std::uint32_t count);
