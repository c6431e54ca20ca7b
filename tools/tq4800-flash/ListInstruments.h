#pragma once

#include "tools/tq4800-flash/ExitCodes.h"

#include <iosfwd>

// Searches the bus as the window's Update does and prints the names found, one a line, on
// out (escaped as printable text: a serial number is the instrument's to choose); with none, "No
// instrument found." on err. The exit code: 0, or EXIT_UNAVAILABLE.
int ListInstruments(std::ostream& out, std::ostream& err);
