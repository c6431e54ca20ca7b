#include "image/PrintableText.h"

#include <gtest/gtest.h>

namespace {

// Every byte that is not printable ASCII, and the backslash that starts an escape, as \xHH
// with two upper-case digits; printable text as it is.
TEST(PrintableText, EscapesWhatCouldControlATerminal) {
    struct Case {
        std::string text;
        const char* printable;
        const char* lines; // with line feeds kept
    } cases[] = {
        {"TQ4800 1.10 ~!", "TQ4800 1.10 ~!", "TQ4800 1.10 ~!"},
        {"\033[2J\a\x01\x1F", "\\x1B[2J\\x07\\x01\\x1F", "\\x1B[2J\\x07\\x01\\x1F"},
        {"a\\x41", "a\\x5Cx41", "a\\x5Cx41"},
        {"\x7F\x80\xFF\xC3\xA9", "\\x7F\\x80\\xFF\\xC3\\xA9", "\\x7F\\x80\\xFF\\xC3\\xA9"},
        {"one\ntwo\r\n", "one\\x0Atwo\\x0D\\x0A", "one\ntwo\\x0D\n"},
        {std::string("a\0b", 3), "a\\x00b", "a\\x00b"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.printable, Printable(c.text)) << c.printable;
        EXPECT_EQ(c.lines, PrintableLines(c.text)) << c.lines;
    }
}

} // namespace
