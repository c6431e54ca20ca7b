#pragma once

#include <cstdint>
#include <vector>

// Multi-byte numbers in firmware revision files and in the loader's command frames are
// big-endian: the first byte is the most significant.

inline constexpr std::uint32_t ReadBigEndian32(const std::uint8_t* bytes) {
    return (std::uint32_t{bytes[0]} << 24) | (std::uint32_t{bytes[1]} << 16) |
           (std::uint32_t{bytes[2]} << 8) | std::uint32_t{bytes[3]};
}

inline constexpr void WriteBigEndian32(std::uint8_t* bytes, std::uint32_t value) {
    bytes[0] = static_cast<std::uint8_t>(value >> 24);
    bytes[1] = static_cast<std::uint8_t>(value >> 16);
    bytes[2] = static_cast<std::uint8_t>(value >> 8);
    bytes[3] = static_cast<std::uint8_t>(value);
}

inline void AppendBigEndian32(std::vector<std::uint8_t>& bytes, std::uint32_t value) {
    std::uint8_t word[4];
    WriteBigEndian32(word, value);
    bytes.insert(bytes.end(), word, word + 4);
}
