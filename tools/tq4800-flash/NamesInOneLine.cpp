#include "tools/tq4800-flash/NamesInOneLine.h"

std::string NamesInOneLine(const std::vector<std::string>& names, std::size_t columns) {
    std::string line;
    for (std::size_t shown = 0; shown < names.size(); ++shown) {
        const std::string next = (shown == 0 ? "" : ", ") + names[shown];
        const std::size_t rest = names.size() - shown - 1;
        const std::string more = rest == 0 ? "" : " and " + std::to_string(rest) + " more";
        if (shown > 0 && line.size() + next.size() + more.size() > columns)
            return line + " and " + std::to_string(names.size() - shown) + " more";
        line += next;
    }
    return line;
}
