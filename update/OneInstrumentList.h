#pragma once

#include "seams/DeviceList.h"

#include <string>

// The Device list of one instrument's update in a fleet: it holds at most the one resource
// name it was made for. A search lists that name only when the instrument is on the bus, so
// the update connects to exactly that instrument or, when it has gone, selects none and ends
// as an instrument not found - never connecting to another one the search found.
class OneInstrumentList final : public DeviceList {
public:
    explicit OneInstrumentList(std::string resourceName);

    void ResetContent() override;
    void AddString(std::string_view name) override;
    void SelectPrefixOrFirst(std::string_view prefix) override;
    std::string CurrentText() const override;
    int Count() const override;

private:
    std::string resourceName_;
    bool found_ = false;
    bool selected_ = false;
};
