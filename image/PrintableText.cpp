#include "image/PrintableText.h"

#include "image/FormatText.h"

namespace {

std::string Escaped(std::string_view text, bool keepLineFeeds) {
    std::string printable;
    printable.reserve(text.size());
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if ((byte >= 0x20 && byte < 0x7F && byte != '\\') || (keepLineFeeds && byte == '\n'))
            printable += character;
        else
            printable += FormatText("\\x%02X", byte);
    }
    return printable;
}

} // namespace

std::string Printable(std::string_view text) {
    return Escaped(text, false);
}

std::string PrintableLines(std::string_view text) {
    return Escaped(text, true);
}
