// The USBTMC bytes the usb backend puts on the bus and how it copes with what devices send
// back, checked against the in-process device, which also notes every framing fault.

#include "tests/usb/UsbBusTest.h"

#include <algorithm>
#include <functional>
#include <iterator>

namespace {

using usbtest::Bytes;
using usbtest::kName;

constexpr const char* kIdentity = "WRITER,TQ4800,TW00012345,0000000000000000000000\n";

class UsbtmcFraming : public usbtest::UsbBusTest {
protected:
    void SetUp() override { Reopen(); }
    // Closes and opens the resource again, as after a change of the device's descriptors.
    void Reopen() {
        connection.reset();
        ASSERT_EQ(VI_SUCCESS, backend.Open(kName, 1000, connection));
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
    ViStatus Query(const std::string& answer, std::string& got, ViUInt32 timeoutMs = 2000,
                   ViUInt32 limit = 255) {
        instrument.reply = answer;
        const ViStatus sent = Send("Q?\n", timeoutMs);
        return sent != VI_SUCCESS ? sent : Receive(got, limit, timeoutMs);
    }
    // After a fault, the next command must work again.
    void ExpectQueryWorks() {
        std::string got;
        EXPECT_EQ(VI_SUCCESS, Query(kIdentity, got));
        EXPECT_EQ(kIdentity, got);
        EXPECT_TRUE(end);
    }

    usbtest::UsbtmcTestDevice& device = Add();
    std::unique_ptr<visa::Connection> connection;
    ViUInt32 written = 0;
    bool end = false;
};

// A long message is split with EOM only on its last transfer: the device hands a message on
// only at EOM, and checks each transfer's length. A reply in transfers of 5 data bytes is
// collected until EOM or the limit, each request asking for what the limit leaves; the rest
// waits for the next read.
TEST_F(UsbtmcFraming, LongMessageAndReplyAreSplitIntoTransfers) {
    std::string message(10000, '\0');
    for (std::size_t i = 0; i < message.size(); ++i)
        message[i] = static_cast<char>(i * 7);
    ASSERT_EQ(VI_SUCCESS, Send(message));
    EXPECT_EQ(10000u, written);
    EXPECT_EQ(3u, device.outs.size());
    EXPECT_EQ(std::vector<std::string>{message}, instrument.received);

    device.replyChunk = 5;
    const std::string text = std::string(299, 'x') + "\n";
    std::string first, second;
    ASSERT_EQ(VI_SUCCESS, Query(text, first));
    EXPECT_EQ(255u, first.size());
    EXPECT_FALSE(end) << "more to come";
    std::vector<Bytes> requests;
    std::copy_if(device.outs.begin(), device.outs.end(), std::back_inserter(requests),
                 [](const Bytes& out) { return out.at(0) == 2; });
    ASSERT_EQ(51u, requests.size());
    for (std::size_t i = 0; i < requests.size(); ++i)
        EXPECT_EQ(255 - 5 * i, requests[i][4] | requests[i][5] << 8u) << "request " << i;
    ASSERT_EQ(VI_SUCCESS, Receive(second));
    EXPECT_TRUE(end);
    EXPECT_EQ(text, first + second);
}

// 12 header bytes and 5 data bytes arrive padded to 20; other lengths fill whole 64- or
// 512-byte packets, and the device ends the transfer with a zero-length packet, a short packet
// of alignment bytes, a zero-length packet too late for the read, or nothing. The host reads
// the terminating packet, leaves the pipe empty at
// the end of the read and at close, and does not wait long for a packet that never comes.
TEST_F(UsbtmcFraming, RepliesOfAnyLengthLeaveThePipeEmpty) {
    using enum usbtest::Ending;
    for (const std::uint16_t packet : {64, 512}) {
        device.packetSize = packet;
        for (const auto ending : {ZeroLengthPacket, AlignmentPacket, LatePacket, Nothing}) {
            Reopen();
            device.ending = ending;
            const int row = static_cast<int>(ending);
            for (const std::size_t size : {5u, 52u, 116u, 4084u, 4085u, 8168u, 10000u}) {
                const std::string text(size, 'Q');
                std::string got;
                ASSERT_EQ(VI_SUCCESS, Query(text, got, 2000, 20000))
                    << size << " ending " << row << " at " << packet;
                EXPECT_EQ(text, got);
                EXPECT_TRUE(ending == LatePacket || device.QueuedPackets() == 0) << size;
                ExpectQueryWorks();
            }
            std::string got;
            ASSERT_EQ(VI_SUCCESS, Query(std::string(52, 'c'), got));
            connection.reset();
            EXPECT_EQ(0u, device.QueuedPackets()) << "at close, ending " << row;
        }
    }
}

// An empty DEV_DEP_MSG_IN gets one more chance, also right after a reply whose zero-length
// packet could use it up; a reply that breaks the class's rules otherwise is refused and
// aborted. Either way the next command works.
TEST_F(UsbtmcFraming, MalformedReplyIsRefusedAndTheNextCommandWorks) {
    const std::pair<std::function<void()>, const char*> cases[] = {
        {[&] { device.emptyTransfersBeforeReply = 1; }, nullptr},
        {[&] {
             std::string aligned;
             ASSERT_EQ(VI_SUCCESS, Query(std::string(52, 'a'), aligned));
             device.emptyTransfersBeforeReply = 1;
         },
         nullptr},
        {[&] { device.emptyTransfersBeforeReply = 2; }, "empty DEV_DEP_MSG_IN twice"},
        {[&] { device.wrongTagOnce = true; }, "wrong bTag"},
        {[&] { device.wrongInverseOnce = true; }, "wrong bTag"},
        {[&] { device.ignoresTransferSize = true; }, "larger than requested"},
    };
    for (const auto& [fault, said] : cases) {
        fault();
        diagnostics.str("");
        // A refused reply is longer than the 255 bytes asked for, shorter than 4 KiB.
        const std::string answer = said ? std::string(300, 'w') : "WRITER\n";
        std::string got;
        EXPECT_EQ(said ? VI_ERROR_IO : VI_SUCCESS, Query(answer, got)) << said;
        EXPECT_EQ(said ? "" : "WRITER\n", got);
        EXPECT_TRUE(!said || diagnostics.str().find(said) != std::string::npos) << said;
        device.ignoresTransferSize = false;
        ExpectQueryWorks();
    }
}

// A stall has its halt cleared. A time-out is aborted with INITIATE_ABORT for the transfer's
// bTag (the rows' transfers have bTags 1, 4 and 5, 8 and 9, 12, 15) and CHECK_ABORT_..._STATUS;
// Bulk-IN's halt is left alone once the device has confirmed the abort, Bulk-OUT's is cleared
// whatever the device answered: a device that compares 7 bits of bTag answers "not in progress" and
// leaves the endpoint halted. An I/O error of a device that still answers a request loses nothing.
TEST_F(UsbtmcFraming, FailedTransferIsCleanedUpAndTheNextCommandWorks) {
    enum Fault { OutStalls, OutFails, InStalls, InTimesOut, OutTimesOut, OutTimesOutSevenBits };
    const struct {
        Fault fault;
        ViStatus status;
        std::vector<std::string> control;
    } cases[] = {
        {OutStalls, VI_ERROR_IO, {"clear 02"}},
        {InStalls, VI_ERROR_IO, {"clear 81"}},
        {InTimesOut, VI_ERROR_TMO, {"a2 3 9 81 -> 01 09", "a2 4 0 81 -> 01 00 00 00 00 00 00 00"}},
        {OutTimesOut,
         VI_ERROR_TMO,
         {"a2 1 12 02 -> 01 0c", "a2 2 0 02 -> 01 00 00 00 00 00 00 00", "clear 02"}},
        {OutTimesOutSevenBits, VI_ERROR_TMO, {"a2 1 15 02 -> 81 0f", "clear 02"}},
        {OutFails, VI_ERROR_IO, {}},
    };
    for (const auto& c : cases) {
        device.control.clear();
        device.haltedOut = c.fault == OutStalls;
        device.haltedIn = c.fault == InStalls;
        device.bulkOutFails = c.fault == OutFails;
        device.bulkOutTimesOut = c.fault >= OutTimesOut;
        device.sevenBitTags = c.fault == OutTimesOutSevenBits;
        const bool writes = c.fault != InStalls && c.fault != InTimesOut;
        std::string got;
        EXPECT_EQ(c.status, writes ? Send("*IDN?\n", 50) : Query("", got, 50)) << c.fault;
        EXPECT_TRUE(!writes || written == 0);
        EXPECT_EQ(c.control, device.control) << c.fault;
        device.bulkOutTimesOut = device.bulkOutFails = false;
        ExpectQueryWorks();
    }
}

// A device may answer pending for a while; no command is sent until it reports the abort
// done, and it is not asked more often than every 50 ms or so.
TEST_F(UsbtmcFraming, PendingAbortIsPolledUntilDone) {
    device.abortPendingMs = 300;
    std::string got;
    EXPECT_EQ(VI_ERROR_TMO, Query("", got, 50));
    device.bulkOutTimesOut = true;
    EXPECT_EQ(VI_ERROR_TMO, Send("*IDN?\n", 50));
    device.bulkOutTimesOut = false;
    int polls = 0;
    for (const std::string& line : device.control)
        polls += line.starts_with("a2 4") || line.starts_with("a2 2");
    EXPECT_LE(polls, 20) << "polled too often";
    EXPECT_EQ("a2 2 0 02 -> 01 00 00 00 00 00 00 00", device.control.at(device.control.size() - 2));
    ExpectQueryWorks();
}

// A device that refuses the abort of a timed-out read answers it later, under the aborted
// bTag: the next read drops those stale bytes and returns its own reply. With 16-byte
// packets a 2 KiB reply is 126 packets, which the device keeps queued across the refused
// abort: the host must drain them all, also a 10 KB reply of a device that ignored the size
// asked for, which takes more than one 4 KiB read to drain.
TEST_F(UsbtmcFraming, RefusedAbortLeavesNothingForTheNextRead) {
    device.refusesAborts = true;
    device.clearHaltKeepsQueue = true;
    std::string got;
    EXPECT_EQ(VI_ERROR_TMO, Query("", got, 50));
    instrument.later = {kIdentity};
    EXPECT_EQ(VI_SUCCESS, Query("STALE\n", got));
    EXPECT_EQ(kIdentity, got);
    for (const std::size_t size : {2000, 10000}) {
        device.packetSize = 16;
        Reopen();
        device.wrongTagOnce = size < 4096;
        device.ignoresTransferSize = size > 4096;
        EXPECT_EQ(VI_ERROR_IO, Query(std::string(size, 'k'), got, 2000, 4084)) << size;
        EXPECT_EQ(0u, device.QueuedPackets()) << size;
        device.ignoresTransferSize = false;
        ExpectQueryWorks();
    }
}

// libusb often reports the first transfers after an unplug as I/O errors, the device's
// GET_STATUS among them.
TEST_F(UsbtmcFraming, UnplugDuringATransferLosesTheConnectionForGood) {
    for (const int ioErrors : {0, 1, 2}) {
        device.plugged = true;
        Reopen();
        diagnostics.str("");
        device.unplugIoErrors = ioErrors;
        device.unplugAfterBulkIns = 1; // the first packet arrives, then the device is gone
        std::string got;
        EXPECT_EQ(VI_ERROR_CONN_LOST, Query(std::string(200, 'b'), got)) << ioErrors;
        EXPECT_EQ(std::string(52, 'b'), got) << "the data that did arrive is reported";

        const std::size_t transfers = device.timeoutsMs.size();
        EXPECT_EQ(VI_ERROR_CONN_LOST, Send("*IDN?\n"));
        EXPECT_EQ(VI_ERROR_CONN_LOST, Receive(got));
        EXPECT_EQ(transfers, device.timeoutsMs.size()) << "a lost device is not asked again";
        EXPECT_EQ(std::string("usb backend: ") + kName + " has left the USB bus\n",
                  diagnostics.str());
    }
}

// An instrument that answers each request at once and never with EOM: with nothing (refused
// at the first such transfer) or with a byte a millisecond (the read ends at its time-out).
TEST_F(UsbtmcFraming, ReplyWithoutEomEndsTheRead) {
    instrument.endless = &clock;
    for (const auto& [text, status] : {std::pair{"", VI_ERROR_IO}, {"e", VI_ERROR_TMO}}) {
        std::string got;
        EXPECT_EQ(status, Query(text, got, 100, 20000)) << text;
        EXPECT_GT(20000u, got.size());
    }
}

// Only VI_TMO_INFINITE waits without limit, which the transport spells 0.
TEST_F(UsbtmcFraming, VisaZeroTimeoutNeverReachesTheTransportAsWaitForever) {
    for (const ViUInt32 visaTimeoutMs : {VI_TMO_IMMEDIATE, VI_TMO_INFINITE}) {
        device.timeoutsMs.clear();
        std::string got;
        ASSERT_EQ(VI_SUCCESS, Query("WRITER\n", got, visaTimeoutMs));
        for (const unsigned timeoutMs : device.timeoutsMs)
            EXPECT_EQ(visaTimeoutMs == VI_TMO_INFINITE, timeoutMs == 0) << visaTimeoutMs;
    }
}

} // namespace
