#pragma once

// Exit codes of tq4800-image besides the status codes 0, 19, 20 and 21 of a check: those of
// <sysexits.h>.
inline constexpr int EXIT_USAGE = 64;       // EX_USAGE: wrong arguments
inline constexpr int EXIT_DATA_ERROR = 65;  // EX_DATAERR: a payload too large for its region
inline constexpr int EXIT_NO_INPUT = 66;    // EX_NOINPUT: an input file cannot be opened
inline constexpr int EXIT_CANT_CREATE = 73; // EX_CANTCREAT: the output cannot be written
