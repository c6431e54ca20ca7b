#include "tools/tq4800-flash/WrappedText.h"

std::vector<std::string> Wrapped(std::string_view text, std::size_t width) {
    std::vector<std::string> lines;
    while (text.size() > width) {
        std::size_t cut = text.rfind(' ', width);
        if (cut == std::string_view::npos || cut == 0)
            cut = width;
        lines.emplace_back(text.substr(0, cut));
        text.remove_prefix(cut);
        while (!text.empty() && text.front() == ' ')
            text.remove_prefix(1);
    }
    lines.emplace_back(text);
    return lines;
}
