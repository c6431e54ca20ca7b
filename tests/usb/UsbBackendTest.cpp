// Which USB devices become resources, under which names, and how sessions share a device.

#include "link/visa/UsbBackend.h"

#include "tests/usb/UsbtmcTestDevice.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using usbtest::DeviceSetup;
using usbtest::UsbtmcTestDevice;

constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";

class UsbBackendTest : public ::testing::Test {
protected:
    visa::UsbBackend& Backend() {
        if (!backend)
            backend = std::make_unique<visa::UsbBackend>(bus, diagnostics);
        return *backend;
    }
    std::vector<std::string> Names() {
        std::vector<std::string> names;
        EXPECT_EQ(VI_SUCCESS, Backend().List(names));
        return names;
    }

    usbtest::ScriptedInstrument instrument;
    std::shared_ptr<usbtest::TestUsbBus> bus = std::make_shared<usbtest::TestUsbBus>();
    std::ostringstream diagnostics;
    std::unique_ptr<visa::UsbBackend> backend;
};

TEST_F(UsbBackendTest, UsbtmcInterfacesAreNamedWithUpperCaseHexIdsAndTheirSerial) {
    struct Case {
        DeviceSetup setup;
        const char* name;
    };
    const Case cases[] = {
        {{}, kName},
        {{.vendorId = 0xabc, .productId = 0xface, .serial = "sn-7"},
         "USB0::0x0ABC::0xFACE::sn-7::INSTR"},
        {{.serial = "TW00000002", .interfaceNumber = 2},
         "USB0::0x1D7A::0x52C1::TW00000002::2::INSTR"},
        {{.serial = "TW00000003", .protocol = 0x00}, "USB0::0x1D7A::0x52C1::TW00000003::INSTR"},
    };
    std::vector<std::unique_ptr<UsbtmcTestDevice>> devices;
    std::vector<std::string> expected;
    for (const Case& c : cases) {
        devices.push_back(std::make_unique<UsbtmcTestDevice>(instrument, c.setup));
        bus->Add(*devices.back());
        expected.push_back(c.name);
    }
    EXPECT_EQ(expected, Names());
    EXPECT_EQ("", diagnostics.str());
}

TEST_F(UsbBackendTest, InterfacesOfOtherClassesAreNotResources) {
    UsbtmcTestDevice dfu(instrument, {.serial = "DFU", .interfaceClass = 0xFE, .subClass = 0x01});
    UsbtmcTestDevice vendor(instrument, {.serial = "VND", .interfaceClass = 0xFF});
    bus->Add(dfu);
    bus->Add(vendor);
    bus->AddOther(0x046d, 0xc077, 0x03, 0x01); // a mouse
    EXPECT_TRUE(Names().empty());
    EXPECT_EQ(0, dfu.opens + vendor.opens) << "only USBTMC devices are opened to read a serial";
}

TEST_F(UsbBackendTest, DeviceWithoutSerialNumberIsReportedNotListed) {
    UsbtmcTestDevice anonymous(instrument, {.serial = ""});
    bus->Add(anonymous);
    EXPECT_TRUE(Names().empty());
    EXPECT_NE(std::string::npos, diagnostics.str().find("has no serial number"));
}

TEST_F(UsbBackendTest, SessionsShareOneClaimedInterfaceAndGiveTheDriverBackAtTheLastClose) {
    UsbtmcTestDevice device(instrument);
    bus->Add(device);
    std::unique_ptr<visa::Connection> first, second;
    ASSERT_EQ(VI_SUCCESS, Backend().Open(kName, 1000, first));
    // Resource names are matched without regard to case.
    ASSERT_EQ(VI_SUCCESS, Backend().Open("usb0::0x1d7a::0x52c1::tw00012345::instr", 1000, second));
    EXPECT_EQ(1, device.claims);
    EXPECT_EQ(1, device.detaches);
    EXPECT_FALSE(device.kernelDriverBound);

    ViUInt32 written = 0;
    EXPECT_EQ(VI_SUCCESS, first->Write(reinterpret_cast<const ViByte*>("A\n"), 2, 100, written));
    EXPECT_EQ(VI_SUCCESS, second->Write(reinterpret_cast<const ViByte*>("B\n"), 2, 100, written));
    EXPECT_TRUE(device.violations.empty()) << "both sessions draw bTags from one counter";

    first.reset();
    EXPECT_TRUE(device.claimed);
    EXPECT_EQ(0, device.attaches);
    second.reset();
    EXPECT_FALSE(device.claimed);
    EXPECT_EQ(1, device.releases);
    EXPECT_EQ(1, device.attaches);
    EXPECT_TRUE(device.kernelDriverBound);
}

TEST_F(UsbBackendTest, OpenAcceptsEverySpellingOfTheName) {
    UsbtmcTestDevice device(instrument);
    bus->Add(device);
    const std::pair<const char*, ViStatus> cases[] = {
        {kName, VI_SUCCESS},
        {"usb0::0x1d7a::0x52c1::tw00012345::instr", VI_SUCCESS},
        {"USB::7546::21185::TW00012345::INSTR", VI_SUCCESS},
        {"USB0::0x1D7A::0x52C1::TW00012345::0::INSTR", VI_SUCCESS},
        {"USB0::0x1D7A::0x52C1::TW00012345::1::INSTR", VI_ERROR_RSRC_NFOUND},
        {"USB1::0x1D7A::0x52C1::TW00012345::INSTR", VI_ERROR_RSRC_NFOUND},
        {"USB0::0x1D7A::0x52C2::TW00012345::INSTR", VI_ERROR_RSRC_NFOUND},
        {"GPIB0::12::INSTR", VI_ERROR_INV_RSRC_NAME},
    };
    for (const auto& [name, status] : cases) {
        std::unique_ptr<visa::Connection> connection;
        EXPECT_EQ(status, Backend().Open(name, 1000, connection)) << name;
        EXPECT_EQ(status == VI_SUCCESS, connection != nullptr) << name;
    }
}

TEST_F(UsbBackendTest, TagsCarryOnWhenTheResourceIsOpenedAgain) {
    UsbtmcTestDevice device(instrument);
    bus->Add(device);
    for (int round = 0; round < 2; ++round) {
        std::unique_ptr<visa::Connection> connection;
        ASSERT_EQ(VI_SUCCESS, Backend().Open(kName, 1000, connection));
        ViUInt32 written = 0;
        EXPECT_EQ(VI_SUCCESS,
                  connection->Write(reinterpret_cast<const ViByte*>("A\n"), 2, 100, written));
    }
    EXPECT_EQ(2, device.claims);
    EXPECT_TRUE(device.violations.empty()) << "a second session must not repeat bTag 1";
}

TEST_F(UsbBackendTest, DriverThatWasNotBoundIsNotAttached) {
    UsbtmcTestDevice device(instrument, {.kernelDriverBound = false});
    bus->Add(device);
    std::unique_ptr<visa::Connection> connection;
    ASSERT_EQ(VI_SUCCESS, Backend().Open(kName, 1000, connection));
    connection.reset();
    EXPECT_EQ(0, device.detaches + device.attaches);
}

TEST_F(UsbBackendTest, OpenFailuresGiveTheirStatusAndAMessage) {
    UsbtmcTestDevice device(instrument);
    bus->Add(device);
    std::unique_ptr<visa::Connection> connection;
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND,
              Backend().Open("USB0::0x1D7A::0x52C1::TW99999999::INSTR", 1000, connection));

    device.claimBusy = true;
    EXPECT_EQ(VI_ERROR_RSRC_BUSY, Backend().Open(kName, 1000, connection));
    EXPECT_NE(std::string::npos, diagnostics.str().find("another program is using it"));
    EXPECT_TRUE(device.kernelDriverBound) << "the driver gets its interface back";
    EXPECT_EQ(nullptr, connection);
}

TEST_F(UsbBackendTest, ReplugGivesAFreshSessionWhileOldOnesStayLost) {
    UsbtmcTestDevice device(instrument);
    bus->Add(device);
    std::unique_ptr<visa::Connection> old, fresh;
    ASSERT_EQ(VI_SUCCESS, Backend().Open(kName, 1000, old));
    device.Unplug();
    ViUInt32 written = 0;
    const auto* command = reinterpret_cast<const ViByte*>("*IDN?\n");
    EXPECT_EQ(VI_ERROR_CONN_LOST, old->Write(command, 6, 100, written));
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, Backend().Open(kName, 1000, fresh));

    device.Replug();
    ASSERT_EQ(VI_SUCCESS, Backend().Open(kName, 1000, fresh));
    EXPECT_EQ(VI_SUCCESS, fresh->Write(command, 6, 100, written));
    EXPECT_EQ(VI_ERROR_CONN_LOST, old->Write(command, 6, 100, written));
}

} // namespace
