#pragma once

#include <iosfwd>

// Exit codes of tq4800-flash, as sysexits.h names them.
inline constexpr int EXIT_USAGE = 64;       // EX_USAGE
inline constexpr int EXIT_UNAVAILABLE = 69; // EX_UNAVAILABLE

// Searches the bus as the window's Update does and prints the names found, one a line, on
// out; with none, "No instrument found." on err. The exit code: 0, or EXIT_UNAVAILABLE.
int ListInstruments(std::ostream& out, std::ostream& err);
