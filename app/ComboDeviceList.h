#pragma once

#include "seams/DeviceList.h"

class QComboBox;

// The Device list over the window's drop-down list.
class ComboDeviceList final : public DeviceList {
public:
    void Bind(QComboBox& box) { m_box = &box; }

    void ResetContent() override;
    void AddString(std::string_view name) override;
    void SelectPrefixOrFirst(std::string_view prefix) override;
    std::string CurrentText() const override;
    int Count() const override;

private:
    QComboBox* m_box = nullptr;
};
