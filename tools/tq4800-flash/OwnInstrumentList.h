#pragma once

#include "seams/DeviceList.h"

#include <string>

// The Device list of one instrument of a fleet: of every name a search finds, it keeps only
// its own instrument's, so the update it serves can select no other. When that instrument
// has left the bus the list stays empty, and connecting fails.
class OwnInstrumentList final : public DeviceList {
public:
    explicit OwnInstrumentList(std::string resourceName) : own_(std::move(resourceName)) {}

    void ResetContent() override { present_ = selected_ = false; }
    void AddString(std::string_view name) override { present_ = present_ || name == own_; }
    void SelectPrefixOrFirst(std::string_view) override { selected_ = present_; }
    std::string CurrentText() const override { return selected_ ? own_.substr(0, 254) : ""; }
    int Count() const override { return present_ ? 1 : 0; }

private:
    std::string own_;
    bool present_ = false;
    bool selected_ = false;
};
