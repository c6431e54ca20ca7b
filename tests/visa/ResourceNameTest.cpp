#include "link/visa/ResourceName.h"

#include <gtest/gtest.h>

namespace {

struct NameCase {
    const char* text;
    const char* canonical; // null: not a USB instrument name
};

const NameCase NAME_CASES[] = {
    {"usb0::0x1d7a::0x52c1::TW00012345::instr", "USB0::0x1D7A::0x52C1::TW00012345::INSTR"},
    {"USB::7546::21185::TW00012345", "USB0::0x1D7A::0x52C1::TW00012345::INSTR"},
    {"USB0::0x1D7A::0x52C1::TW00012345::0::INSTR", "USB0::0x1D7A::0x52C1::TW00012345::0::INSTR"},
    {"USB3::0x1D7A::0x52C1::TW1::2", "USB3::0x1D7A::0x52C1::TW1::2::INSTR"},
    {"USB0::0xFFFF::0::s", "USB0::0xFFFF::0x0000::s::INSTR"},
    {"", nullptr},
    {"GPIB0::12::INSTR", nullptr},
    {"USB0::0x1D7A::0x52C1::INSTR", nullptr},
    {"USB0::0x1D7A::0x52C1::::INSTR", nullptr},
    {"USB0::0x10000::0x52C1::TW1::INSTR", nullptr},
    {"USB0::0x::0x52C1::TW1::INSTR", nullptr},
    {"USB0::12ab::0x52C1::TW1::INSTR", nullptr},
    {"USBx::0x1D7A::0x52C1::TW1::INSTR", nullptr},
    {"USB0::0x1D7A::0x52C1::TW1::0::1", nullptr},
    {"USB0::0x1D7A::0x52C1::TW1::256::INSTR", nullptr},
    {"USB0::0x1D7A::0x52C1::TW1::x::INSTR", nullptr},
};

TEST(ResourceName, ParsesAndPrintsCanonically) {
    for (const NameCase& c : NAME_CASES) {
        visa::UsbResourceName name;
        bool parsed = visa::ParseResourceName(c.text, name);
        EXPECT_EQ(c.canonical != nullptr, parsed) << c.text;
        if (parsed && c.canonical) {
            EXPECT_EQ(c.canonical, visa::CanonicalName(name)) << c.text;
        }
    }
}

} // namespace
