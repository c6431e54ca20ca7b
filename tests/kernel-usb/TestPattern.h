#pragma once

// What the gadget and the query exercise agree on: the bytes of a reply of a given length,
// and the digest by which the gadget reports a message it received.

#include <cstddef>
#include <cstdint>
#include <string>
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

// "TEST:DATA?" is answered "LENGTH DIGEST\n" for the last message that began "TEST:DATA"
// (FNV-1a over the whole message).
inline std::string MessageDigest(const std::uint8_t* data, std::size_t length) {
    std::uint64_t hash = 14695981039346656037ull;
    for (std::size_t i = 0; i < length; ++i)
        hash = (hash ^ data[i]) * 1099511628211ull;
    return std::to_string(length) + " " + std::to_string(hash) + "\n";
}

} // namespace kernelusb
