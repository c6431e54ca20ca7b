#include "image/PrintableText.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {

// Every byte that is not printable ASCII, and the backslash that starts an escape, as \xHH
// with two upper-case digits; printable text as it is.
TEST(PrintableText, EscapesWhatCouldControlATerminal) {
    // The text, as printable and as printable with its line feeds kept.
    const std::tuple<std::string, const char*, const char*> cases[] = {
        {"TQ4800 1.10 ~!", "TQ4800 1.10 ~!", "TQ4800 1.10 ~!"},
        {"\033[2J\a\x01\x1F", "\\x1B[2J\\x07\\x01\\x1F", "\\x1B[2J\\x07\\x01\\x1F"},
        {"a\\x41", "a\\x5Cx41", "a\\x5Cx41"},
        {"\x7F\x80\xFF\xC3\xA9", "\\x7F\\x80\\xFF\\xC3\\xA9", "\\x7F\\x80\\xFF\\xC3\\xA9"},
        {"one\ntwo\r\n", "one\\x0Atwo\\x0D\\x0A", "one\ntwo\\x0D\n"},
        {std::string("a\0b", 3), "a\\x00b", "a\\x00b"},
    };
    for (const auto& [text, printable, lines] : cases) {
        EXPECT_EQ(printable, Printable(text)) << printable;
        EXPECT_EQ(lines, PrintableLines(text)) << lines;
    }
}

} // namespace
