#include "update/OneInstrumentList.h"

#include <algorithm>
#include <cctype>

namespace {

bool SameLetters(std::string_view a, std::string_view b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
        return std::tolower(static_cast<unsigned char>(x)) ==
               std::tolower(static_cast<unsigned char>(y));
    });
}

} // namespace

OneInstrumentList::OneInstrumentList(std::string resourceName)
    : resourceName_(std::move(resourceName)) {}

void OneInstrumentList::ResetContent() {
    found_ = false;
    selected_ = false;
}

void OneInstrumentList::AddString(std::string_view name) {
    if (SameLetters(name, resourceName_))
        found_ = true;
}

// Whatever the prefix, the one entry is the instrument of this update.
void OneInstrumentList::SelectPrefixOrFirst(std::string_view) {
    selected_ = found_;
}

std::string OneInstrumentList::CurrentText() const {
    return selected_ ? resourceName_.substr(0, 254) : std::string();
}

int OneInstrumentList::Count() const {
    return found_ ? 1 : 0;
}
