#include "tools/tq4800-flash/SortedDeviceList.h"

#include <algorithm>
#include <cctype>

namespace {

// The window's list shows at most this many characters of the selected name.
constexpr std::size_t SHOWN_TEXT_LIMIT = 254;

char Lower(char c) {
    return static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
}

bool LessNoCase(const std::string& a, const std::string& b) {
    return std::lexicographical_compare(a.begin(), a.end(), b.begin(), b.end(),
                                        [](char x, char y) { return Lower(x) < Lower(y); });
}

bool StartsNoCase(std::string_view text, std::string_view prefix) {
    return prefix.size() <= text.size() &&
           std::equal(prefix.begin(), prefix.end(), text.begin(),
                      [](char x, char y) { return Lower(x) == Lower(y); });
}

} // namespace

SortedDeviceList::SortedDeviceList(std::string shownText) {
    if (!shownText.empty()) {
        names_.push_back(std::move(shownText));
        selected_ = 0;
    }
}

void SortedDeviceList::ResetContent() {
    names_.clear();
    selected_ = -1;
}

void SortedDeviceList::AddString(std::string_view name) {
    std::string item(name);
    names_.insert(std::upper_bound(names_.begin(), names_.end(), item, LessNoCase), item);
}

void SortedDeviceList::SelectPrefixOrFirst(std::string_view prefix) {
    if (names_.empty())
        return;
    auto found = std::find_if(names_.begin(), names_.end(),
                              [&](const std::string& name) { return StartsNoCase(name, prefix); });
    selected_ = found == names_.end() ? 0 : static_cast<int>(found - names_.begin());
}

std::string SortedDeviceList::CurrentText() const {
    if (selected_ < 0)
        return {};
    return names_[static_cast<std::size_t>(selected_)].substr(0, SHOWN_TEXT_LIMIT);
}

bool SortedDeviceList::HasPrefix(std::string_view prefix) const {
    return std::any_of(names_.begin(), names_.end(),
                       [&](const std::string& name) { return StartsNoCase(name, prefix); });
}
