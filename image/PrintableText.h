#pragma once

#include <string>
#include <string_view>

// Text from a firmware file (model, description, revisions) as it may be shown on a
// terminal: bytes outside printable ASCII, and the backslash, are written as \xHH, so that a
// file cannot send escape sequences to the operator's terminal.
std::string Printable(std::string_view text);

// The same, keeping line feeds: for text made of lines.
std::string PrintableLines(std::string_view text);
