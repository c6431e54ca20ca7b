#pragma once

// What the gadget and the query exercise agree on: the bytes of a reply of a given length.

#include <cstddef>
#include <cstdint>
#include <vector>

namespace kernelusb {

using Bytes = std::vector<std::uint8_t>;

// "TEST:REPLY? N" is answered with N bytes: every value from 0 to 255 appears, so no byte
// (NUL, line feed) is treated as text on the way.
inline Bytes PatternReply(std::size_t length) {
    Bytes reply(length);
    for (std::size_t i = 0; i < length; ++i)
        reply[i] = static_cast<std::uint8_t>((i * 7 + i / 256) & 0xFF);
    return reply;
}

} // namespace kernelusb
