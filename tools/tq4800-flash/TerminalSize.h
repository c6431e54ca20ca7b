#pragma once

#include <cstddef>

// The size of the terminal on a descriptor, in characters; 80 by 24 when it is no terminal or
// does not say.
struct TerminalSize {
    std::size_t columns = 80;
    std::size_t rows = 24;
};

TerminalSize TerminalSizeOf(int descriptor);

// Whether the descriptor is a terminal that moves its cursor as a VT100 does, on which the
// live lines and the bar may be drawn: not one whose TERM says it is dumb (Emacs's shell).
bool DrawsInPlace(int descriptor);
