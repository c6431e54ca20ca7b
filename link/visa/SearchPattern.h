#pragma once

// The search expressions of viFindRsrc, matched against whole resource names without
// regard to case:
//   ?        any one character
//   *  +     zero or more, one or more of the preceding element
//   [list]   one character of the list (ranges such as a-f); [^list] one not in it
//   \c       the character c itself
//   a|b      either alternative;  ( )  groups
// Every other character stands for itself.

#include "link/visa/visa.h"

#include <optional>
#include <regex>
#include <string>
#include <string_view>
#include <vector>

namespace visa {

// A pattern made only of characters that stand for themselves, '?' and "?*" (the usual
// forms, such as the utility's own) is matched directly as well: the regular expression takes
// microseconds a name, and a fleet matches every name on the bus for every instrument.
struct Wildcard {
    enum class Kind { Char, AnyOne, AnyRun } kind;
    char c = 0;
};

struct CompiledPattern {
    std::regex regex; // ECMAScript, case-insensitive
    std::optional<std::vector<Wildcard>> wildcards;
};

// The equivalent ECMAScript expression, or VI_ERROR_INV_EXPR when the pattern is malformed.
ViStatus TranslatePattern(std::string_view pattern, std::string& expression);

// A compiled pattern, or VI_ERROR_INV_EXPR.
ViStatus CompilePattern(std::string_view pattern, CompiledPattern& compiled);

// True when the whole name matches. A name that does not fit a VISA name buffer
// (VI_FIND_BUFLEN with its NUL) never matches.
bool MatchesWhole(const CompiledPattern& compiled, const std::string& name);

} // namespace visa
