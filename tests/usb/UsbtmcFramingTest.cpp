// The USBTMC bytes the usb backend puts on the bus and how it copes with what devices send
// back, checked transfer by transfer against the in-process device.

#include "link/visa/UsbBackend.h"
#include "tests/usb/UsbtmcTestDevice.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using usbtest::Bytes;
using usbtest::BytesOf;
using usbtest::Exchange;
using usbtest::HexDump;

constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";

Bytes Concat(Bytes head, const Bytes& tail) {
    head.insert(head.end(), tail.begin(), tail.end());
    return head;
}

std::string Dump(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines)
        text += line + "\n";
    return text;
}

class UsbtmcFraming : public ::testing::Test {
protected:
    void SetUp() override {
        bus->Add(device);
        backend = std::make_unique<visa::UsbBackend>(bus, diagnostics);
        ASSERT_EQ(VI_SUCCESS, backend->Open(kName, 1000, connection));
        device.transcript.clear();
    }
    void TearDown() override { EXPECT_TRUE(device.violations.empty()) << Dump(device.violations); }

    ViStatus Send(const std::string& text, ViUInt32 timeoutMs = 2000) {
        ViUInt32 written = 0;
        const ViStatus status =
            connection->Write(reinterpret_cast<const ViByte*>(text.data()),
                              static_cast<ViUInt32>(text.size()), timeoutMs, written);
        lastWritten = written;
        return status;
    }
    ViStatus Receive(std::string& text, ViUInt32 limit = 255, ViUInt32 timeoutMs = 2000) {
        std::vector<ViByte> buffer(limit + 1, 0xEE);
        ViUInt32 count = 0;
        const ViStatus status = connection->Read(buffer.data(), limit, timeoutMs, count, end);
        EXPECT_EQ(0xEE, buffer[count]) << "a byte past the count was written";
        text.assign(buffer.begin(), buffer.begin() + count);
        return status;
    }
    // Sends a query and expects its whole reply.
    void ExpectQueryWorks(const std::string& query = "*IDN?\n") {
        instrument.replies[query] = "WRITER,TQ4800,TW00012345,0000000000000000000000\n";
        std::string reply;
        ASSERT_EQ(VI_SUCCESS, Send(query));
        ASSERT_EQ(VI_SUCCESS, Receive(reply));
        EXPECT_EQ(instrument.replies[query], reply);
        EXPECT_TRUE(end);
    }
    std::vector<Bytes> Requests() const {
        std::vector<Bytes> requests;
        for (const Bytes& out : device.BulkOuts())
            if (!out.empty() && out[0] == 2)
                requests.push_back(out);
        return requests;
    }

    usbtest::ScriptedInstrument instrument;
    usbtest::UsbtmcTestDevice device{instrument};
    std::shared_ptr<usbtest::TestUsbBus> bus = std::make_shared<usbtest::TestUsbBus>();
    std::ostringstream diagnostics;
    std::unique_ptr<visa::UsbBackend> backend;
    std::unique_ptr<visa::Connection> connection;
    ViUInt32 lastWritten = 0;
    bool end = false;
};

TEST_F(UsbtmcFraming, WriteSendsOneDevDepMsgOutWithHeaderAndZeroPadding) {
    struct Case {
        std::string payload;
        Bytes expected;
    };
    const Case cases[] = {
        {"*IDN?\n", Concat({0x01, 0x01, 0xFE, 0x00, 0x06, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
                           Concat(BytesOf("*IDN?\n"), {0x00, 0x00}))},
        {"ABCD", Concat({0x01, 0x02, 0xFD, 0x00, 0x04, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
                        BytesOf("ABCD"))},
        {"A", Concat({0x01, 0x03, 0xFC, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
                     {'A', 0x00, 0x00, 0x00})},
        {"syst:update TQ4800\n",
         Concat({0x01, 0x04, 0xFB, 0x00, 0x13, 0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00},
                Concat(BytesOf("syst:update TQ4800\n"), {0x00}))},
    };
    for (const Case& c : cases) {
        device.transcript.clear();
        ASSERT_EQ(VI_SUCCESS, Send(c.payload));
        EXPECT_EQ(c.payload.size(), lastWritten);
        ASSERT_EQ(1u, device.BulkOuts().size()) << c.payload;
        EXPECT_EQ(HexDump(c.expected), HexDump(device.BulkOuts()[0])) << c.payload;
    }
    EXPECT_EQ((std::vector<std::string>{"*IDN?\n", "ABCD", "A", "syst:update TQ4800\n"}),
              instrument.received);
}

TEST_F(UsbtmcFraming, TagsRunFromOneTo255AndNeverZero) {
    for (int i = 0; i < 300; ++i)
        ASSERT_EQ(VI_SUCCESS, Send("X"));
    std::vector<int> tags;
    for (const Bytes& out : device.BulkOuts())
        tags.push_back(out[1]);
    std::vector<int> expected;
    for (int i = 0; i < 300; ++i)
        expected.push_back(i % 255 + 1);
    EXPECT_EQ(expected, tags);
}

TEST_F(UsbtmcFraming, LongMessageIsSplitWithEomOnlyOnTheLastTransfer) {
    std::string message(10000, '\0');
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>(i * 7);
    ASSERT_EQ(VI_SUCCESS, Send(message));
    EXPECT_EQ(10000u, lastWritten);
    const auto outs = device.BulkOuts();
    ASSERT_EQ(3u, outs.size());
    const std::uint32_t sizes[] = {4084, 4084, 1832};
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(12 + sizes[i], outs[i].size());
        EXPECT_EQ(sizes[i], outs[i][4] | outs[i][5] << 8 | outs[i][6] << 16 | outs[i][7] << 24);
        EXPECT_EQ(i == 2 ? 1 : 0, outs[i][8]) << "EOM of transfer " << i;
    }
    ASSERT_EQ(1u, instrument.received.size());
    EXPECT_EQ(message, instrument.received[0]);
}

TEST_F(UsbtmcFraming, ReadAsksForTheLimitWithRequestDevDepMsgIn) {
    instrument.replies["*IDN?\n"] = "WRITER\n";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    ASSERT_EQ(VI_SUCCESS, Receive(reply, 255));
    ASSERT_EQ(1u, Requests().size());
    const Bytes expected = {0x02, 0x02, 0xFD, 0x00, 0xFF, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00, 0x00};
    EXPECT_EQ(HexDump(expected), HexDump(Requests()[0]));
    EXPECT_EQ("WRITER\n", reply);
    EXPECT_TRUE(end);
}

TEST_F(UsbtmcFraming, ReplySplitIntoTransfersIsCollectedUntilEom) {
    device.replyChunk = 5;
    const std::string text = "WRITER,TQ4800,TW00012345,0123456789ABCDEFGHIJKL\n";
    instrument.replies["*IDN?\n"] = text;
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    ASSERT_EQ(VI_SUCCESS, Receive(reply, 255));
    EXPECT_EQ(text, reply);
    EXPECT_TRUE(end);
    const auto requests = Requests();
    ASSERT_EQ((text.size() + 4) / 5, requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(255 - 5 * i, requests[i][4] | requests[i][5] << 8u) << "request " << i;
}

TEST_F(UsbtmcFraming, PacketAlignedReplyEndsWithOrWithoutAShortPacket) {
    // 12 header bytes and 52 or 116 data bytes fill one or two 64-byte packets exactly.
    for (const bool noShortPacket : {true, false}) {
        for (const std::size_t size : {52u, 116u}) {
            device.noShortPacket = noShortPacket;
            const std::string text(size, 'Q');
            instrument.replies["Q?\n"] = text;
            std::string reply;
            ASSERT_EQ(VI_SUCCESS, Send("Q?\n"));
            ASSERT_EQ(VI_SUCCESS, Receive(reply)) << size << (noShortPacket ? " no ZLP" : "");
            EXPECT_EQ(text, reply);
            for (const Exchange& exchange : device.transcript)
                EXPECT_NE(visa::UsbResult::Timeout, exchange.result) << "waited for a ZLP";
            // The zero-length packet a well-behaved device sends must not upset the next read.
            ExpectQueryWorks();
            device.transcript.clear();
        }
    }
}

TEST_F(UsbtmcFraming, AlignmentBytesAreDropped) {
    instrument.replies["R?\n"] = "OK\r\n!";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("R?\n"));
    ASSERT_EQ(VI_SUCCESS, Receive(reply));
    EXPECT_EQ("OK\r\n!", reply); // 12 + 5 bytes arrive padded to 20
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, LimitReachedFirstLeavesTheRestForTheNextRead) {
    std::string text(300, 'x');
    text.back() = '\n';
    instrument.replies["LONG?\n"] = text;
    std::string first, second;
    ASSERT_EQ(VI_SUCCESS, Send("LONG?\n"));
    ASSERT_EQ(VI_SUCCESS, Receive(first, 255));
    EXPECT_EQ(255u, first.size());
    EXPECT_FALSE(end) << "more to come";
    ASSERT_EQ(VI_SUCCESS, Receive(second, 255));
    EXPECT_TRUE(end);
    EXPECT_EQ(text, first + second);
}

TEST_F(UsbtmcFraming, EmptyDevDepMsgInGetsOneMoreChance) {
    device.emptyTransfersBeforeReply = 1;
    ExpectQueryWorks();

    device.emptyTransfersBeforeReply = 2;
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_IO, Receive(reply));
    EXPECT_NE(std::string::npos, diagnostics.str().find("empty DEV_DEP_MSG_IN"));
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, WrongTagIsRefusedAndTheNextCommandWorks) {
    device.wrongTagOnce = true;
    instrument.replies["*IDN?\n"] = "WRITER\n";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_IO, Receive(reply));
    EXPECT_EQ("", reply);
    EXPECT_NE(std::string::npos, diagnostics.str().find("wrong bTag"));
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, StallClearsTheHaltSoTheNextCommandWorks) {
    device.stallNextBulkOut = true;
    EXPECT_EQ(VI_ERROR_IO, Send("*IDN?\n"));
    device.stallNextBulkIn = true;
    instrument.replies["*IDN?\n"] = "WRITER\n";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_IO, Receive(reply));
    std::vector<int> cleared;
    for (const Exchange& exchange : device.ControlTraffic())
        if (exchange.kind == Exchange::ClearHalt)
            cleared.push_back(exchange.endpoint);
    EXPECT_EQ((std::vector<int>{0x02, 0x81}), cleared);
    ExpectQueryWorks();
}

std::string Describe(const std::vector<Exchange>& traffic) {
    std::ostringstream text;
    for (const Exchange& e : traffic) {
        if (e.kind == Exchange::ClearHalt)
            text << "clear halt " << std::hex << int{e.endpoint} << "\n";
        else
            text << "control " << std::hex << int{e.requestType} << " " << int{e.request} << " "
                 << e.value << " " << e.index << " -> " << HexDump(e.bytes);
    }
    return text.str();
}

TEST_F(UsbtmcFraming, ReadTimeoutAbortsBulkInClearsTheHaltAndTheNextCommandWorks) {
    device.holdReplies = true;
    instrument.replies["*IDN?\n"] = "WRITER\n";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_TMO, Receive(reply, 255, 50));
    const int tag = Requests().at(0)[1];
    // INITIATE_ABORT_BULK_IN with the request's bTag, CHECK_ABORT_BULK_IN_STATUS, clear halt.
    const std::string expected = "control a2 3 " + std::to_string(tag) + " 81 -> 01 0" +
                                 std::to_string(tag) + "\ncontrol a2 4 0 81 -> " +
                                 "01 00 00 00 00 00 00 00\nclear halt 81\n";
    EXPECT_EQ(expected, Describe(device.ControlTraffic()));
    device.holdReplies = false;
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, WriteTimeoutAbortsBulkOutClearsTheHaltAndTheNextCommandWorks) {
    device.bulkOutTimesOut = true;
    EXPECT_EQ(VI_ERROR_TMO, Send("*IDN?\n", 50));
    EXPECT_EQ(0u, lastWritten);
    const std::string expected = "control a2 1 1 2 -> 01 01\ncontrol a2 2 0 2 -> "
                                 "01 00 00 00 00 00 00 00\nclear halt 2\n";
    EXPECT_EQ(expected, Describe(device.ControlTraffic()));
    device.bulkOutTimesOut = false;
    ExpectQueryWorks();
}

TEST_F(UsbtmcFraming, UnplugDuringATransferLosesTheConnectionForGood) {
    instrument.replies["BIG?\n"] = std::string(200, 'b');
    device.unplugAfterBulkIns = 1; // the first packet arrives, then the device is gone
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("BIG?\n"));
    EXPECT_EQ(VI_ERROR_CONN_LOST, Receive(reply));
    EXPECT_EQ(std::string(52, 'b'), reply) << "the data that did arrive is reported";

    const std::size_t traffic = device.transcript.size();
    EXPECT_EQ(VI_ERROR_CONN_LOST, Send("*IDN?\n"));
    EXPECT_EQ(VI_ERROR_CONN_LOST, Receive(reply));
    EXPECT_EQ(traffic, device.transcript.size()) << "a lost device is not asked again";
    EXPECT_EQ(std::string("usb backend: ") + kName + " has left the USB bus\n", diagnostics.str());
}

TEST_F(UsbtmcFraming, VisaZeroTimeoutNeverReachesTheTransportAsWaitForever) {
    instrument.replies["*IDN?\n"] = "WRITER\n";
    std::string reply;
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n", VI_TMO_IMMEDIATE));
    ASSERT_EQ(VI_SUCCESS, Receive(reply, 255, VI_TMO_IMMEDIATE));
    for (const Exchange& exchange : device.transcript)
        EXPECT_GE(exchange.timeoutMs, 1u);

    device.transcript.clear();
    ASSERT_EQ(VI_SUCCESS, Send("*IDN?\n", VI_TMO_INFINITE));
    ASSERT_EQ(VI_SUCCESS, Receive(reply, 255, VI_TMO_INFINITE));
    for (const Exchange& exchange : device.transcript)
        EXPECT_EQ(0u, exchange.timeoutMs) << "VI_TMO_INFINITE waits without limit";
}

} // namespace
