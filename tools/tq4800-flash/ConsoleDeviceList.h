#pragma once

// The Device list of the terminal front end: the names found, kept in the window's order
// (sorted without regard to case), with a selection. Given a required prefix (--device), it
// selects only a name that begins with it, and nothing when none does: unlike the window's
// list, it never falls back to another instrument.

#include "seams/DeviceList.h"

#include <string>
#include <utility>
#include <vector>

class ConsoleDeviceList final : public DeviceList {
public:
    explicit ConsoleDeviceList(std::string requiredPrefix = {})
        : requiredPrefix_(std::move(requiredPrefix)) {}

    void ResetContent() override;
    void AddString(std::string_view name) override;
    void SelectPrefixOrFirst(std::string_view prefix) override;
    std::string CurrentText() const override;
    int Count() const override { return static_cast<int>(items_.size()); }

    const std::vector<std::string>& Items() const { return items_; }

private:
    std::string requiredPrefix_;
    std::vector<std::string> items_;
    int selected_ = -1;
};

// Whether text begins with prefix, compared without regard to case.
bool StartsNoCase(std::string_view text, std::string_view prefix);
