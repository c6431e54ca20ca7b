#pragma once

#include <string>
#include <string_view>

// The Device list: the resource names found by the last search, kept sorted.
class DeviceList {
public:
    virtual ~DeviceList() = default;
    // Removes every entry; nothing is selected afterwards.
    virtual void ResetContent() = 0;
    // Adds a name in its sorted place (case-insensitive order); selects nothing.
    virtual void AddString(std::string_view name) = 0;
    // Selects the first entry, from the top, whose text begins with prefix
    // (case-insensitive); when none does, selects the first entry. Does nothing when empty.
    // A list that offers only some instruments (the terminal's --device) may select none.
    virtual void SelectPrefixOrFirst(std::string_view prefix) = 0;
    // The selected entry's text, at most 254 characters; empty when nothing is selected.
    virtual std::string CurrentText() const = 0;
    virtual int Count() const = 0;
};
