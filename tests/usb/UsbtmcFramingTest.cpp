// The USBTMC bytes the usb backend puts on the bus and how it copes with what devices send
// back, checked against the in-process device, which also notes every framing fault.

#include "link/visa/UsbBackend.h"
#include "tests/usb/UsbtmcTestDevice.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using usbtest::Bytes;
using usbtest::Hex;

constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";
constexpr const char* kIdentity = "WRITER,TQ4800,TW00012345,0000000000000000000000\n";

class UsbtmcFraming : public ::testing::Test {
protected:
    void SetUp() override {
        bus->devices.push_back(&device);
        ASSERT_EQ(VI_SUCCESS, backend.Open(kName, 1000, connection));
    }
    void TearDown() override {
        for (const std::string& fault : device.violations)
            ADD_FAILURE() << fault;
    }

    ViStatus Send(const std::string& text, ViUInt32 timeoutMs = 2000) {
        return connection->Write(reinterpret_cast<const ViByte*>(text.data()),
                                 static_cast<ViUInt32>(text.size()), timeoutMs, written);
    }
    ViStatus Receive(std::string& text, ViUInt32 limit = 255, ViUInt32 timeoutMs = 2000) {
        std::vector<ViByte> buffer(limit + 1, 0xEE);
        ViUInt32 count = 0;
        const ViStatus status = connection->Read(buffer.data(), limit, timeoutMs, count, end);
        EXPECT_EQ(0xEE, buffer[count]) << "a byte past the count was written";
        text.assign(buffer.begin(), buffer.begin() + count);
        return status;
    }
    // Sends a query the instrument answers with answer; got is what the read delivered.
    ViStatus Query(const std::string& answer, std::string& got, ViUInt32 timeoutMs = 2000) {
        instrument.reply = answer;
        const ViStatus sent = Send("Q?\n", timeoutMs);
        return sent != VI_SUCCESS ? sent : Receive(got, 255, timeoutMs);
    }
    // After a fault, the next command must work again.
    void ExpectQueryWorks() {
        std::string got;
        EXPECT_EQ(VI_SUCCESS, Query(kIdentity, got));
        EXPECT_EQ(kIdentity, got);
        EXPECT_TRUE(end);
    }
    std::vector<Bytes> Requests() const {
        std::vector<Bytes> requests;
        for (const Bytes& out : device.outs)
            if (out.at(0) == 2)
                requests.push_back(out);
        return requests;
    }

    usbtest::ScriptedInstrument instrument;
    usbtest::UsbtmcTestDevice device{instrument};
    std::shared_ptr<usbtest::TestUsbBus> bus = std::make_shared<usbtest::TestUsbBus>();
    std::ostringstream diagnostics;
    visa::UsbBackend backend{bus, diagnostics};
    std::unique_ptr<visa::Connection> connection;
    ViUInt32 written = 0;
    bool end = false;
};

TEST_F(UsbtmcFraming, WriteSendsOneDevDepMsgOutWithHeaderAndZeroPadding) {
    const std::pair<std::string, std::string> cases[] = {
        {"*IDN?\n", "01 01 fe 00 06 00 00 00 01 00 00 00 2a 49 44 4e 3f 0a 00 00"},
        {"ABCD", "01 02 fd 00 04 00 00 00 01 00 00 00 41 42 43 44"},
        {"A", "01 03 fc 00 01 00 00 00 01 00 00 00 41 00 00 00"},
    };
    for (const auto& [payload, transfer] : cases) {
        ASSERT_EQ(VI_SUCCESS, Send(payload));
        EXPECT_EQ(payload.size(), written);
        EXPECT_EQ(transfer, Hex(device.outs.back()));
    }
    EXPECT_EQ((std::vector<std::string>{"*IDN?\n", "ABCD", "A"}), instrument.received);
}

// The device checks that each bTag follows the last, from 255 to 1, and is never 0.
TEST_F(UsbtmcFraming, TagsRunFromOneTo255AndNeverZero) {
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(VI_SUCCESS, Send("X"));
    EXPECT_EQ(1, device.outs.front()[1]);
}

// The device hands a message on only at EOM, and checks each transfer's length.
TEST_F(UsbtmcFraming, LongMessageIsSplitWithEomOnlyOnTheLastTransfer) {
    std::string message(10000, '\0');
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>(i * 7);
    ASSERT_EQ(VI_SUCCESS, Send(message));
    EXPECT_EQ(10000u, written);
    EXPECT_EQ(3u, device.outs.size());
    EXPECT_EQ(std::vector<std::string>{message}, instrument.received);
}

TEST_F(UsbtmcFraming, ReadAsksForTheLimitWithRequestDevDepMsgIn) {
    std::string got;
    ASSERT_EQ(VI_SUCCESS, Query("WRITER\n", got));
    EXPECT_EQ("02 02 fd 00 ff 00 00 00 00 00 00 00", Hex(device.outs.at(1)));
    EXPECT_EQ("WRITER\n", got);
    EXPECT_TRUE(end);
}

TEST_F(UsbtmcFraming, ReplySplitIntoTransfersIsCollectedUntilEom) {
    device.replyChunk = 5;
    std::string got;
    ASSERT_EQ(VI_SUCCESS, Query(kIdentity, got));
    EXPECT_EQ(kIdentity, got);
    EXPECT_TRUE(end);
    const auto requests = Requests();
    ASSERT_EQ((got.size() + 4) / 5, requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(255 - 5 * i, requests[i][4] | requests[i][5] << 8u) << "request " << i;
}

TEST_F(UsbtmcFraming, LimitReachedFirstLeavesTheRestForTheNextRead) {
    const std::string text = std::string(299, 'x') + "\n";
    std::string first, second;
    ASSERT_EQ(VI_SUCCESS, Query(text, first));
    EXPECT_EQ(255u, first.size());
    EXPECT_FALSE(end) << "more to come";
    ASSERT_EQ(VI_SUCCESS, Receive(second));
    EXPECT_TRUE(end);
    EXPECT_EQ(text, first + second);
}

// 12 header bytes and 5 data bytes arrive padded to 20; with 52 or 116 data bytes they fill
// one or two 64-byte packets exactly, and a device may or may not end with a zero-length
// packet. The host must neither wait for one nor take one for the next reply.
TEST_F(UsbtmcFraming, RepliesOfAnyLengthArriveWithoutTheirAlignmentBytes) {
    for (const bool noShortPacket : {false, true}) {
        for (const std::size_t size : {5u, 52u, 116u}) {
            device.noShortPacket = noShortPacket;
            const std::string text(size, 'Q');
            std::string got;
            ASSERT_EQ(VI_SUCCESS, Query(text, got)) << size << (noShortPacket ? " no ZLP" : "");
            EXPECT_EQ(text, got);
            ExpectQueryWorks();
        }
    }
}

TEST_F(UsbtmcFraming, EmptyDevDepMsgInGetsOneMoreChance) {
    device.emptyTransfersBeforeReply = 1;
    ExpectQueryWorks();

    device.emptyTransfersBeforeReply = 2;
    std::string got;
    EXPECT_EQ(VI_ERROR_IO, Query(kIdentity, got));
    EXPECT_NE(std::string::npos, diagnostics.str().find("empty DEV_DEP_MSG_IN"));
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, WrongTagOrInverseIsRefusedAndTheNextCommandWorks) {
    for (bool* fault : {&device.wrongTagOnce, &device.wrongInverseOnce}) {
        *fault = true;
        diagnostics.str("");
        std::string got;
        EXPECT_EQ(VI_ERROR_IO, Query("WRITER\n", got));
        EXPECT_EQ("", got);
        EXPECT_NE(std::string::npos, diagnostics.str().find("wrong bTag"));
        ExpectQueryWorks();
    }
}

TEST_F(UsbtmcFraming, StallClearsTheHaltSoTheNextCommandWorks) {
    device.haltedOut = true;
    EXPECT_EQ(VI_ERROR_IO, Send("*IDN?\n"));
    device.haltedIn = true;
    std::string got;
    EXPECT_EQ(VI_ERROR_IO, Query("WRITER\n", got));
    EXPECT_EQ((std::vector<std::string>{"clear 02", "clear 81"}), device.control);
    ExpectQueryWorks();
}

// INITIATE_ABORT with the transfer's bTag, CHECK_ABORT_..._STATUS, then the halt cleared.
TEST_F(UsbtmcFraming, ReadTimeoutAbortsBulkInAndTheNextCommandWorks) {
    std::string got;
    EXPECT_EQ(VI_ERROR_TMO, Query("", got, 50)); // the instrument has nothing to say
    EXPECT_EQ((std::vector<std::string>{"a2 3 2 81 -> 01 02",
                                        "a2 4 0 81 -> 01 00 00 00 00 00 00 00", "clear 81"}),
              device.control);
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, WriteTimeoutAbortsBulkOutAndTheNextCommandWorks) {
    device.bulkOutTimesOut = true;
    EXPECT_EQ(VI_ERROR_TMO, Send("*IDN?\n", 50));
    EXPECT_EQ(0u, written);
    EXPECT_EQ((std::vector<std::string>{"a2 1 1 02 -> 01 01",
                                        "a2 2 0 02 -> 01 00 00 00 00 00 00 00", "clear 02"}),
              device.control);
    device.bulkOutTimesOut = false;
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, UnplugDuringATransferLosesTheConnectionForGood) {
    device.unplugAfterBulkIns = 1; // the first packet arrives, then the device is gone
    std::string got;
    EXPECT_EQ(VI_ERROR_CONN_LOST, Query(std::string(200, 'b'), got));
    EXPECT_EQ(std::string(52, 'b'), got) << "the data that did arrive is reported";

    const std::size_t transfers = device.timeoutsMs.size();
    EXPECT_EQ(VI_ERROR_CONN_LOST, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_CONN_LOST, Receive(got));
    EXPECT_EQ(transfers, device.timeoutsMs.size()) << "a lost device is not asked again";
    EXPECT_EQ(std::string("usb backend: ") + kName + " has left the USB bus\n", diagnostics.str());
}

TEST_F(UsbtmcFraming, VisaZeroTimeoutNeverReachesTheTransportAsWaitForever) {
    std::string got;
    ASSERT_EQ(VI_SUCCESS, Query("WRITER\n", got, VI_TMO_IMMEDIATE));
    for (const unsigned timeoutMs : device.timeoutsMs)
        EXPECT_GE(timeoutMs, 1u);

    device.timeoutsMs.clear();
    ASSERT_EQ(VI_SUCCESS, Query("WRITER\n", got, VI_TMO_INFINITE));
    for (const unsigned timeoutMs : device.timeoutsMs)
        EXPECT_EQ(0u, timeoutMs) << "VI_TMO_INFINITE waits without limit";
}

} // namespace
