#pragma once

#include <cstdint>
#include <string_view>

// The result of every step of the utility: 0 is success, every other value names one
// failure. Codes, names and StatusTable rows change together; the row number is the code.
using StatusCode = std::int32_t;

inline constexpr StatusCode STATUS_COMPLETE = 0;
inline constexpr StatusCode STATUS_NOT_COMPLETE = 1;
inline constexpr StatusCode STATUS_CANCELLED = 2;
inline constexpr StatusCode STATUS_CONNECT_FAILED = 3;
inline constexpr StatusCode STATUS_WRITE_FAILED = 4;
inline constexpr StatusCode STATUS_READ_FAILED = 5;
inline constexpr StatusCode STATUS_RESET_FAILED = 6;
inline constexpr StatusCode STATUS_LOAD_FAILED = 7;
inline constexpr StatusCode STATUS_LOAD_END_FAILED = 8;
inline constexpr StatusCode STATUS_SET_TYPE_FAILED = 9;
inline constexpr StatusCode STATUS_SET_LENGTH_FAILED = 10;
inline constexpr StatusCode STATUS_CHECKSUM_QUERY_FAILED = 11;
// Row 12 has no text and no box; the segment transfer returns it when the loader's
// checksum differs from the one computed over the file.
inline constexpr StatusCode STATUS_CHECKSUM_MISMATCH = 12;
inline constexpr StatusCode STATUS_PROGRAM_FAILED = 13;
inline constexpr StatusCode STATUS_FLASH_REPLY_FAILED = 14;
inline constexpr StatusCode STATUS_ALREADY_LATEST = 15;
inline constexpr StatusCode STATUS_DEVICE_NEWER = 16;
inline constexpr StatusCode STATUS_DEVICE_REV_UNKNOWN = 17;
inline constexpr StatusCode STATUS_FILE_REV_BAD = 18;
inline constexpr StatusCode STATUS_FILE_CORRUPT = 19;
inline constexpr StatusCode STATUS_FILE_VALUE_TOO_LONG = 20;
inline constexpr StatusCode STATUS_UTILITY_TOO_OLD = 21;

struct StatusRow {
    std::uint32_t code;
    char text[64];
    std::uint32_t showInBox;
};

inline constexpr int STATUS_TABLE_SIZE = 22;
extern const StatusRow StatusTable[STATUS_TABLE_SIZE];

// The row of a code, or nullptr for a code outside the table.
const StatusRow* FindStatusRow(StatusCode code);

// The table's text for a code; empty for codes without text and for codes outside the table.
std::string_view StatusText(StatusCode code);
