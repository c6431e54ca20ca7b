// kernel-usb-queries: the VISA layer over the usb backend against the gadget of
// kernel-usb-device, through the Linux kernel's own USB stack.
// Run inside the guest; TQ4800_KERNEL_USB_PACKET gives the Bulk-IN packet size of the speed
// the gadget runs at (512 or 64).

#include "backend/BackendFactory.h"
#include "link/visa/Dispatch.h"
#include "tests/kernel-usb/TestPattern.h"

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <gtest/gtest.h>
#include <string>
#include <thread>

namespace {

using kernelusb::Bytes;

constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";
constexpr std::size_t kHeader = 12;
constexpr std::size_t kTransfer = 4096; // the backend's largest transfer, header included

std::size_t PacketSize() {
    const char* packet = std::getenv("TQ4800_KERNEL_USB_PACKET");
    return packet ? std::strtoul(packet, nullptr, 10) : 512;
}

// The kernel driver bound to the instrument's interface ("" for none), from sysfs: the
// gadget is the only device on the dummy controller's port, 1-1.
std::string InterfaceDriver() {
    std::error_code error;
    const auto driver = std::filesystem::read_symlink("/sys/bus/usb/devices/1-1:1.0/driver", error);
    return error ? "" : driver.filename().string();
}

// The driver expected, within two seconds.
bool DriverBecomes(const std::string& expected) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(2);
    while (InterfaceDriver() != expected) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    return true;
}

class KernelUsbQueries : public ::testing::Test {
protected:
    static void SetUpTestSuite() {
        std::string error;
        auto backend = visa::CreateBackend("usb", error);
        ASSERT_TRUE(backend) << error;
        visa::InstallBackend(std::move(backend));
    }
    void SetUp() override {
        ASSERT_EQ(VI_SUCCESS, visa::viOpenDefaultRM(&rm));
        session = OpenSession();
    }
    void TearDown() override { visa::viClose(rm); }

    ViSession OpenSession() {
        ViSession opened = 0;
        EXPECT_EQ(VI_SUCCESS, visa::viOpen(rm, kName, VI_NO_LOCK, 1000, &opened));
        return opened;
    }
    static void Send(ViSession vi, const std::string& message) {
        ViUInt32 written = 0;
        ASSERT_EQ(VI_SUCCESS, visa::viWrite(vi, reinterpret_cast<const ViByte*>(message.data()),
                                            static_cast<ViUInt32>(message.size()), &written));
        ASSERT_EQ(message.size(), written);
    }
    // The whole reply to message, in one read that ends with status.
    static Bytes Query(ViSession vi, const std::string& message, ViStatus status = VI_SUCCESS) {
        Send(vi, message);
        Bytes reply(65536);
        ViUInt32 count = 0;
        EXPECT_EQ(status, visa::viRead(vi, reply.data(), 65536, &count)) << message;
        reply.resize(count);
        return reply;
    }
    static std::string Text(const Bytes& bytes) { return {bytes.begin(), bytes.end()}; }

    ViSession rm = 0;
    ViSession session = 0;
    const std::size_t packet = PacketSize();
};

// Each length puts the end of the DEV_DEP_MSG_IN transfer (12 + length, padded to 4) just
// before, on or just after a packet or 4 KiB boundary; 0 is a transfer of the header alone.
TEST_F(KernelUsbQueries, RepliesEndingOnAndAroundPacketAndTransferBoundaries) {
    const std::size_t inPacket = packet - kHeader, inTransfer = kTransfer - kHeader;
    const std::size_t lengths[] = {0,
                                   1,
                                   inPacket - 4,
                                   inPacket - 1,
                                   inPacket,
                                   inPacket + 1,
                                   2 * packet - kHeader,
                                   inTransfer - 1,
                                   inTransfer,
                                   inTransfer + 1,
                                   2 * inTransfer,
                                   20000};
    for (const std::size_t length : lengths) {
        const Bytes reply = Query(session, "TEST:REPLY? " + std::to_string(length));
        EXPECT_EQ(kernelusb::PatternReply(length), reply) << "a reply of " << length << " bytes";
    }
}

// The device never answers; the read times out, the backend aborts the transfer, and the
// instrument answers the next query with its own reply, not a stale one.
TEST_F(KernelUsbQueries, AReadTimeOutIsAbortedAndTheNextQueryWorks) {
    ASSERT_EQ(VI_SUCCESS, visa::viSetAttribute(session, VI_ATTR_TMO_VALUE, 300));
    EXPECT_EQ(Bytes{}, Query(session, "TEST:SILENT?", VI_ERROR_TMO));
    ASSERT_EQ(VI_SUCCESS, visa::viSetAttribute(session, VI_ATTR_TMO_VALUE, 2000));
    EXPECT_EQ(0u, Text(Query(session, "*IDN?\n")).find("SIMULATED,TQ4800,TW00012345,"));
    EXPECT_EQ(kernelusb::PatternReply(packet - kHeader),
              Query(session, "TEST:REPLY? " + std::to_string(packet - kHeader)));
}

// Messages whose DEV_DEP_MSG_OUT transfers fill exactly one packet or 4 KiB, or run over
// several transfers, reach the instrument byte for byte: it sends each back.
TEST_F(KernelUsbQueries, LongAndPacketSizedWritesArriveWhole) {
    const std::string prefix = "TEST:DATA ";
    const std::size_t inTransfer = kTransfer - kHeader;
    const std::size_t sizes[] = {
        packet - kHeader, 2 * packet - kHeader, inTransfer, inTransfer + 1, 10000, 3 * inTransfer};
    for (const std::size_t size : sizes) {
        const Bytes pattern = kernelusb::PatternReply(size - prefix.size());
        const std::string message = prefix + std::string(pattern.begin(), pattern.end());
        Send(session, message);
        EXPECT_EQ(Bytes(message.begin(), message.end()), Query(session, "TEST:DATA?"))
            << "a message of " << size << " bytes";
    }
}

// While a session is open the backend holds the interface; the kernel's usbtmc driver gets
// it back when the last session closes, and loses it again on the next open.
TEST_F(KernelUsbQueries, CloseGivesTheKernelDriverBackAndReopenTakesItAgain) {
    EXPECT_EQ("usbfs", InterfaceDriver());
    EXPECT_EQ(0u, Text(Query(session, "*IDN?\n")).find("SIMULATED,"));
    EXPECT_EQ(VI_SUCCESS, visa::viClose(session));
    EXPECT_TRUE(DriverBecomes("usbtmc")) << "the driver is " << InterfaceDriver();
    session = OpenSession();
    EXPECT_EQ("usbfs", InterfaceDriver());
    EXPECT_EQ(0u, Text(Query(session, "*IDN?\n")).find("SIMULATED,"));
}

} // namespace
