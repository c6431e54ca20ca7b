#pragma once

// USB instrument resource names: USB[board]::vendor id::product id::serial
// number[::interface number][::INSTR]. Ids are hex with 0x or decimal; the interface type and
// the INSTR class are read without regard to case.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace visa {

struct UsbResourceName {
    unsigned board = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::string serial;
    std::optional<unsigned> interfaceNumber;
};

// False when the text is not a USB instrument resource name.
bool ParseResourceName(std::string_view text, UsbResourceName& name);

// The name as vendor libraries print it: "USB0::0x1D7A::0x52C1::TW00012345::INSTR", with
// the interface number before INSTR when there is one.
std::string CanonicalName(const UsbResourceName& name);

// Whether a and b are the same text but for the case of ASCII letters, as VISA compares
// resource names and their parts.
bool EqualsNoCase(std::string_view a, std::string_view b);

} // namespace visa
