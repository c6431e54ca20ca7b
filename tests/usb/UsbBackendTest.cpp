// Which USB devices become resources, under which names, and how sessions share a device.

#include "link/visa/UsbStringDescriptor.h"
#include "tests/usb/UsbBusTest.h"

#include <algorithm>
#include <thread>

namespace {

using usbtest::kName;
using usbtest::UsbtmcTestDevice;

class UsbBackendTest : public usbtest::UsbBusTest {
protected:
    std::unique_ptr<visa::Connection> Open(const std::string& name = kName,
                                           ViStatus status = VI_SUCCESS) {
        std::unique_ptr<visa::Connection> connection;
        EXPECT_EQ(status, backend.Open(name, 1000, connection)) << name;
        return connection;
    }
    static void Write(const std::unique_ptr<visa::Connection>& connection,
                      ViStatus status = VI_SUCCESS) {
        ASSERT_NE(nullptr, connection);
        ViUInt32 written = 0;
        EXPECT_EQ(status,
                  connection->Write(reinterpret_cast<const ViByte*>("A\n"), 2, 100, written));
    }
};

// Devices without a USBTMC interface are not even opened (which could fail for want of
// permission); one whose serial number is missing, does not answer, cannot be read for want of
// permission (the note says what to do), or would corrupt its resource name (an escape
// sequence, DEL, "::") is skipped with a note, and the rest are listed.
TEST_F(UsbBackendTest, UsbtmcInterfacesAreNamedWithUpperCaseHexIdsAndTheirSerial) {
    Add();
    Add({.vendorId = 0xabc, .productId = 0xface, .serial = "sn-7"});
    Add({.serial = "TW00000002", .interfaceNumber = 2});
    Add({.serial = ""});
    Add({.serial = "TW\x1b]0;x\x07"});
    Add({.serial = "TW0::1"});
    Add({.serial = "TW00000007"}).serialTimesOut = true;
    Add({.serial = "TW00000008"});
    Add({.serial = "TW\x7f"});
    Add({.serial = "TW00000010"}).permissionDenied = true;
    Add({.serial = "TW00000011", .interfaceNumber = 1, .earlierUsbtmcInterface = 3});
    bus->others = {{0x03, 0x01}, {0xFE, 0x01}, {0xFF, 0x03}}; // a mouse, DFU, a vendor class
    std::vector<std::string> names;
    EXPECT_EQ(VI_SUCCESS, backend.List(names));
    EXPECT_EQ((std::vector<std::string>{kName, "USB0::0x0ABC::0xFACE::sn-7::INSTR",
                                        "USB0::0x1D7A::0x52C1::TW00000002::2::INSTR",
                                        "USB0::0x1D7A::0x52C1::TW00000008::INSTR",
                                        "USB0::0x1D7A::0x52C1::TW00000011::3::INSTR",
                                        "USB0::0x1D7A::0x52C1::TW00000011::1::INSTR"}),
              names);
    const std::string said = diagnostics.str();
    for (const char* note :
         {"address 4 has no serial number", "address 5 holds control characters or \"::\"",
          "address 6 holds control characters or \"::\"",
          "address 7 did not answer within 1000 ms; skipped",
          "address 9 holds control characters or \"::\"",
          "address 10 cannot be read: no permission to open it; install the udev rule "
          "60-tq4800.rules (the tq4800-update package does), add the user to the plugdev"})
        EXPECT_NE(std::string::npos, said.find(note)) << said;
    EXPECT_EQ(6, std::count(said.begin(), said.end(), '\n')) << said;
    EXPECT_EQ(std::string::npos, said.find('\x1b'));
    Write(Open("USB0::0x1D7A::0x52C1::TW00000011::INSTR"));
}

// A serial number as the device sends it: bLength, type 3, then UTF-16LE code units.
TEST(UsbStringDescriptor, OnlyAWholeDescriptorIsDecoded) {
    const std::pair<std::vector<std::uint8_t>, const char*> cases[] = {
        {{8, 3, 'T', 0, 'W', 0, '7', 0, 0xEE}, "TW7"},
        {{6, 3, 0xE9, 0x00, 0x41, 0x01}, "??"}, // U+00E9, U+0141
        {{8, 3, 'T', 0, 'W', 0}, nullptr},      // cut short
        {{5, 3, 'T', 0, 'W', 0}, nullptr},      // odd length
        {{4, 2, 'T', 0}, nullptr},              // another descriptor type
    };
    for (const auto& [bytes, text] : cases) {
        std::string decoded = "unchanged";
        EXPECT_EQ(text != nullptr,
                  visa::DecodeStringDescriptor(bytes.data(), bytes.size(), decoded));
        EXPECT_EQ(text ? text : "unchanged", decoded);
    }
}

// Of two instruments whose serial numbers differ only in case, a name spelt exactly as one's
// opens that one. A search for a name reads no serial number of other vendor and product ids.
TEST_F(UsbBackendTest, OpenAcceptsEverySpellingOfTheName) {
    Add();
    Add({.serial = "tw00012345"});
    UsbtmcTestDevice& other = Add({.vendorId = 0xabc, .serial = "sn-7"});
    other.serialTimesOut = true;
    const struct {
        const char* name;
        ViStatus status;
        int opened; // the device
    } cases[] = {
        {kName, VI_SUCCESS, 0},
        {"usb0::0x1d7a::0x52c1::tw00012345::instr", VI_SUCCESS, 1},
        {"usb0::0x1d7a::0x52c1::Tw00012345::instr", VI_SUCCESS, 0},
        {"USB0::0x1D7A::0x52C1::TW00012345::0::INSTR", VI_SUCCESS, 0},
        {"USB0::0x1D7A::0x52C1::TW00012345::1::INSTR", VI_ERROR_RSRC_NFOUND, -1},
        {"USB1::0x1D7A::0x52C1::TW00012345::INSTR", VI_ERROR_RSRC_NFOUND, -1},
        {"USB0::0x1D7A::0x52C2::TW00012345::INSTR", VI_ERROR_RSRC_NFOUND, -1},
        {"USB0::0x1D7A::0x52C1::TW99999999::INSTR", VI_ERROR_RSRC_NFOUND, -1},
        {"GPIB0::12::INSTR", VI_ERROR_INV_RSRC_NAME, -1},
    };
    for (const auto& [name, status, opened] : cases) {
        const auto connection = Open(name, status); // held while the claims are looked at
        EXPECT_EQ(status == VI_SUCCESS, connection != nullptr) << name;
        for (int i = 0; i < 2; ++i)
            EXPECT_EQ(i == opened, devices[i]->claimed) << name << " device " << i;
    }
    EXPECT_EQ(0, other.serialReads);
}

// Sessions to a device share one claimed interface and one run of bTags, which carries on when
// the resource is opened again (the device notes a repeated or skipped bTag). The kernel's
// driver gets the interface back at the last close, only when it had it, and also when another
// program holds the interface and the open fails.
TEST_F(UsbBackendTest, SessionsShareOneClaimedInterfaceAndTheDriverGetsBackWhatItHad) {
    UsbtmcTestDevice& device = Add();
    UsbtmcTestDevice& unbound = Add({.serial = "TW00000001"});
    unbound.kernelDriverBound = false;
    Add({.serial = "TW00000002"}).claimBusy = true;
    auto first = Open();
    auto second = Open();
    Write(first);
    Write(second);
    first.reset();
    EXPECT_TRUE(device.claimed && !device.kernelDriverBound);
    second.reset();
    EXPECT_TRUE(!device.claimed && device.kernelDriverBound);
    Write(Open());
    EXPECT_EQ(2, device.claims);
    Open("USB0::0x1D7A::0x52C1::TW00000001::INSTR").reset();
    EXPECT_FALSE(unbound.kernelDriverBound);
    Open("USB0::0x1D7A::0x52C1::TW00000002::INSTR", VI_ERROR_RSRC_BUSY);
    EXPECT_NE(std::string::npos, diagnostics.str().find("another program is using it"));
    EXPECT_TRUE(devices[2]->kernelDriverBound);
}

// Each thread opens its own instrument and queries it while the other does the same and
// lists the bus: every reply reaches the session that asked, and each device sees its own
// bTags in sequence.
TEST_F(UsbBackendTest, TwoInstrumentsAreUsedSideBySideFromTwoThreads) {
    usbtest::ScriptedInstrument instruments[2];
    std::string names[2], failures[2];
    for (int i = 0; i < 2; ++i) {
        Add({.serial = "TW0000000" + std::to_string(i)}, &instruments[i]);
        names[i] = "USB0::0x1D7A::0x52C1::TW0000000" + std::to_string(i) + "::INSTR";
    }
    const auto use = [&](int i) {
        const auto connection = Open(names[i]);
        for (int round = 0; connection && round < 300 && failures[i].empty(); ++round) {
            const std::string expected = instruments[i].reply = names[i] + std::to_string(round);
            ViUInt32 written = 0, count = 0;
            bool end = false;
            ViByte reply[256] = {};
            std::vector<std::string> listed;
            if (connection->Write(reinterpret_cast<const ViByte*>("Q?\n"), 3, 1000, written) ||
                connection->Read(reply, sizeof reply, 1000, count, end) ||
                std::string(reply, reply + count) != expected || backend.List(listed))
                failures[i] = "round " + std::to_string(round) + " failed";
        }
    };
    std::thread first(use, 0), second(use, 1);
    first.join();
    second.join();
    EXPECT_EQ("", failures[0] + failures[1]);
}

// Two instruments opened at once, each for the first time: both threads put what they read
// and opened into the backend's shared tables (a fault here shows under ThreadSanitizer).
TEST_F(UsbBackendTest, TwoInstrumentsAreFirstOpenedAtOnce) {
    usbtest::ScriptedInstrument instruments[2];
    std::unique_ptr<visa::Connection> connections[2];
    // Products of their own, so that each thread reads only its own device.
    Add({.productId = 0x52C1}, &instruments[0]);
    Add({.productId = 0x52C2}, &instruments[1]);
    const std::string names[] = {kName, "USB0::0x1D7A::0x52C2::TW00012345::INSTR"};
    const auto open = [&](int i) { backend.Open(names[i], 1000, connections[i]); };
    std::thread first(open, 0), second(open, 1);
    first.join();
    second.join();
    EXPECT_TRUE(connections[0] && connections[1]);
}

// An instrument back from its reboot is on the bus only once it has been enumerated: the open
// looks for it again every 100 ms until its time-out has passed.
TEST_F(UsbBackendTest, OpenKeepsLookingForTheInstrumentUntilItsTimeOut) {
    UsbtmcTestDevice& device = Add();
    const struct {
        std::uint64_t backAfterMs;
        ViUInt32 openTimeoutMs;
        ViStatus status;
        std::uint64_t tookMs;
    } cases[] = {
        {0, 1000, VI_SUCCESS, 0},
        {400, 1000, VI_SUCCESS, 400},
        {1000, 1000, VI_SUCCESS, 1000},
        {1001, 1000, VI_ERROR_RSRC_NFOUND, 1000},
        {1001, 250, VI_ERROR_RSRC_NFOUND, 250},
    };
    for (const auto& c : cases) {
        const std::uint64_t start = clock.now;
        device.present = [this, start, c] { return clock.now >= start + c.backAfterMs; };
        std::unique_ptr<visa::Connection> connection;
        EXPECT_EQ(c.status, backend.Open(kName, c.openTimeoutMs, connection)) << c.backAfterMs;
        EXPECT_EQ(c.tookMs, clock.now - start) << c.backAfterMs << " " << c.openTimeoutMs;
    }
}

// A serial number is read once for each bus address: searches and opens use what was read
// (an update opens its instrument's name three times), until the device leaves the address.
// An instrument back on the bus at a new address is opened afresh, also while a session to
// its old address has not yet found it gone; that session stays lost.
TEST_F(UsbBackendTest, SerialNumberIsReadOnceWhileItsDeviceStaysAtItsAddress) {
    Add();
    std::vector<std::string> names;
    ASSERT_EQ(VI_SUCCESS, backend.List(names));
    auto old = Open();
    Open().reset();
    devices[0]->plugged = false;
    Add();
    Write(Open());
    Write(old, VI_ERROR_CONN_LOST);
    ASSERT_EQ(VI_SUCCESS, backend.List(names));
    bus->devices = {&Add({.serial = "TW00000002"})};
    ASSERT_EQ(VI_SUCCESS, backend.List(names));
    EXPECT_EQ(std::vector<std::string>{"USB0::0x1D7A::0x52C1::TW00000002::INSTR"}, names);
    for (const auto& device : devices)
        EXPECT_EQ(1, device->serialReads) << device->setup.serial;
}

} // namespace
