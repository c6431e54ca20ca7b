#include "update/OneInstrumentList.h"

#include "link/visa/ResourceName.h"

OneInstrumentList::OneInstrumentList(std::string resourceName)
    : resourceName_(std::move(resourceName)) {}

void OneInstrumentList::ResetContent() {
    found_ = false;
    selected_ = false;
}

void OneInstrumentList::AddString(std::string_view name) {
    if (visa::EqualsNoCase(name, resourceName_))
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
