#include "tools/tq4800-flash/ConsoleDeviceList.h"

#include <algorithm>
#include <cctype>

namespace {

int Lower(char c) {
    return std::tolower(static_cast<unsigned char>(c));
}

bool LessNoCase(std::string_view a, std::string_view b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

} // namespace

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return prefix.size() <= text.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
}

void ConsoleDeviceList::ResetContent() {
    items_.clear();
    selected_ = -1;
}

void ConsoleDeviceList::AddString(std::string_view name) {
    auto place =
        std::upper_bound(items_.begin(), items_.end(), name,
                         [](std::string_view a, const std::string& b) { return LessNoCase(a, b); });
    items_.insert(place, std::string(name));
}

void ConsoleDeviceList::SelectPrefixOrFirst(std::string_view prefix) {
    selected_ = -1;
    for (std::size_t i = 0; i < items_.size(); ++i) {
        if (!StartsNoCase(items_[i], requiredPrefix_))
            continue;
        if (selected_ < 0)
            selected_ = static_cast<int>(i);
        if (StartsNoCase(items_[i], prefix)) {
            selected_ = static_cast<int>(i);
            return;
        }
    }
}

std::string ConsoleDeviceList::CurrentText() const {
    if (selected_ < 0)
        return {};
    return items_[static_cast<std::size_t>(selected_)].substr(0, 254);
}
