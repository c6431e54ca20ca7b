#include "link/visa/SearchPattern.h"

#include <gtest/gtest.h>
#include <string>

namespace {

constexpr char UTILITY_EXPRESSION[] = "USB0::0x1d7a::0x52c1::TW?*::INSTR";

struct MatchCase {
    const char* pattern;
    const char* name;
    bool matches;
};

// Names that fill the VISA buffer (255 characters and its NUL) and that overflow it.
const std::string LONGEST_NAME = "USB0::0x1D7A::0x52C1::" + std::string(226, 'S') + "::INSTR";
const std::string LONGER_NAME = "USB0::0x1D7A::0x52C1::" + std::string(227, 'S') + "::INSTR";

const MatchCase MATCH_CASES[] = {
    {"USB?*", LONGEST_NAME.c_str(), true},
    {"USB?*", LONGER_NAME.c_str(), false},
    // The utility's own expression.
    {UTILITY_EXPRESSION, "USB0::0x1D7A::0x52C1::TW00012345::INSTR", true},
    {UTILITY_EXPRESSION, "usb0::0x1d7a::0x52c1::tw00012345::instr", true},
    {UTILITY_EXPRESSION, "USB0::0x1D7A::0x52C1::TW00012345::0::INSTR", true},
    {UTILITY_EXPRESSION, "USB0::0x1D7A::0x52C1::TW::INSTR", true}, // ?* may match nothing
    {UTILITY_EXPRESSION, "USB0::0x1D7A::0x52C1::MY00012345::INSTR", false},
    {UTILITY_EXPRESSION, "USB0::0x1D7A::0x52C1::TW00012345::RAW", false},
    {UTILITY_EXPRESSION, "XUSB0::0x1D7A::0x52C1::TW00012345::INSTR", false},
    // Any character, repeats.
    {"?*", "", true},
    {"?", "ab", false},
    {"?*TW?*::INSTR", "USB0::TW1::INSTR::TW2::INSTR", true},
    {"?*::INSTR", "USB0::INSTR::RAW", false},
    {"A?*B?C", "AxBxBxCxC", false},
    {"A?*B?C", "AxBBxBxC", true},
    {"a?b", "a\nb", false}, // '?' is any character but a line's end
    {"USB+0", "USBBB0", true},
    {"US+B", "UB", false},
    {"USB*0", "US0", true},
    {"(AB)+", "ABABAB", true},
    {"(AB)+", "ABA", false},
    // Lists and ranges.
    {"USB[^0]::?*", "USB0::x", false},
    {"USB[^0]::?*", "USB1::x", true},
    {"[a-c]+", "CabBA", true},
    {"[a-c]+", "abd", false},
    {"[.]", "x", false},
    {"[\\]]", "]", true},
    // Escapes and literal characters that mean something to other regular expressions.
    {"TW\\?", "TW?", true},
    {"TW\\?", "TWX", false},
    {"\\*", "*", true},
    {"\\d", "d", true},
    {"\\d", "5", false},
    {"(a.b)", "axb", false},
    {"a$b^c", "a$b^c", true},
    // Alternatives and groups.
    {"USB?*|GPIB?*", "GPIB0::1::INSTR", true},
    {"USB?*|GPIB?*", "ASRL1::INSTR", false},
    {"(USB|GPIB)0::?*", "GPIB0::x", true},
    {"(USB|GPIB)0::?*", "GPIB1::x", false},
};

TEST(SearchPattern, MatchesWholeNamesWithoutRegardToCase) {
    for (const MatchCase& c : MATCH_CASES) {
        visa::CompiledPattern compiled;
        ASSERT_EQ(VI_SUCCESS, visa::CompilePattern(c.pattern, compiled)) << c.pattern;
        EXPECT_EQ(c.matches, visa::MatchesWhole(compiled, c.name))
            << "pattern " << c.pattern << " name " << c.name;
    }
}

TEST(SearchPattern, MalformedPatternsAreRefused) {
    const char* malformed[] = {"*abc",  "+",   "(USB", "USB)", "[abc", "[]",
                               "abc\\", "a|*", "(*)",  "a**",  "{x}",  "[^]"};
    for (const char* pattern : malformed) {
        visa::CompiledPattern compiled;
        EXPECT_EQ(VI_ERROR_INV_EXPR, visa::CompilePattern(pattern, compiled)) << pattern;
    }
}

} // namespace
