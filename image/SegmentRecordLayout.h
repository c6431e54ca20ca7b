#pragma once

#include <cstdint>

// The layout of one segment record of a firmware revision file. L, the record's length
// word, counts the bytes from RECORD_LENGTH_START up to the type byte; the whole record is
// L + RECORD_OVERHEAD bytes: word0, L bytes, then the type and flag bytes. For L below 16
// the type and flag bytes lie inside the fixed words.
inline constexpr std::uint32_t RECORD_WORD0 = 0;
inline constexpr std::uint32_t RECORD_WORD1 = 4;
inline constexpr std::uint32_t RECORD_LENGTH = 8;
inline constexpr std::uint32_t RECORD_REVISION = 12;
inline constexpr std::uint32_t RECORD_WORD4 = 16;
inline constexpr std::uint32_t RECORD_PAYLOAD = 20;
inline constexpr std::uint32_t RECORD_FIXED_SIZE = 20;
inline constexpr std::uint32_t RECORD_REVISION_SIZE = 4;
inline constexpr std::uint32_t RECORD_LENGTH_START = 4;
inline constexpr std::uint32_t RECORD_OVERHEAD = 6;
// The instrument's checksum covers L - 8 bytes from here.
inline constexpr std::uint32_t RECORD_CHECKSUM_START = 8;

// Offsets of the type and flag bytes of a record with length L.
inline constexpr std::uint64_t RecordTypeOffset(std::uint32_t length) {
    return std::uint64_t{RECORD_LENGTH_START} + length;
}
