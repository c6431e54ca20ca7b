#pragma once

// The loader's command frames, written out by hand as the instrument expects them.

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

// A big-endian word written into data at offset.
inline void PutWord(Bytes& data, std::size_t offset, std::uint32_t value) {
    for (std::size_t i = 0; i < 4; ++i)
        data[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// The 12-byte frame of a command other than the reset: its body length and command, then
// six filler bytes.
inline Bytes Frame(std::uint32_t bodyLength, std::uint8_t command) {
    Bytes frame = {0xAB, 0, 0, 0, 0, command, 1, 2, 3, 4, 5, 6};
    PutWord(frame, 1, bodyLength);
    return frame;
}

inline Bytes ResetFrame() {
    return {0xAB, 0x00, 0x00, 0x00, 0x07, 0x0A, 'R', 'E', 'S', 'E', 'T', '!'};
}

// The payload of the set-length command: the digits, then zero bytes up to 12.
inline Bytes LengthField(std::string_view digits) {
    Bytes field(12, 0);
    std::copy(digits.begin(), digits.end(), field.begin());
    return field;
}
