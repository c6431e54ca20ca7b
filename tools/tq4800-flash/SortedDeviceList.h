#pragma once

#include "seams/DeviceList.h"

#include <string>
#include <vector>

// The Device list without a window: the names kept in case-insensitive order, one selected.
class SortedDeviceList final : public DeviceList {
public:
    // shownText is what the list shows before the first search, as the window's list shows
    // the operator's last choice; the update selects the first name that begins with it.
    explicit SortedDeviceList(std::string shownText = {});

    void ResetContent() override;
    void AddString(std::string_view name) override;
    void SelectPrefixOrFirst(std::string_view prefix) override;
    std::string CurrentText() const override;
    int Count() const override { return static_cast<int>(names_.size()); }

    const std::vector<std::string>& Names() const { return names_; }
    // Whether some name begins with prefix, compared without regard to case.
    bool HasPrefix(std::string_view prefix) const;

private:
    std::vector<std::string> names_;
    int selected_ = -1;
};
