#include "link/SegmentTransfer.h"

#include "ScriptedDevice.h"
#include "TestSegments.h"
#include "link/WriterProtocol.h"

#include <algorithm>
#include <functional>
#include <gtest/gtest.h>
#include <string>

namespace {

// The whole exchange of one segment as the loader sees it.
void ScriptTransfer(ScriptedDevice& device, const SegmentImage& segment, std::uint32_t length,
                    std::uint32_t sendCount, std::int32_t checksum,
                    const std::vector<std::string>& flashReplies) {
    device.Write(ResetFrame()).Read("OK");
    device.Write(Frame(sendCount + 7, CMD_LOAD));
    for (std::uint32_t sent = 0; sent < sendCount; sent += 1024) {
        const auto first = segment.data.begin() + sent;
        device.Write(Bytes(first, first + std::min<std::uint32_t>(1024, sendCount - sent)));
    }
    device.Read("OK").Write(Frame(7, CMD_LOAD_DONE)).Read("OK");
    device.Write(Frame(8, CMD_SET_TYPE)).Write({segment.type}).Read("OK");
    device.Write(Frame(19, CMD_SET_LENGTH)).Write(LengthField(std::to_string(length))).Read("OK");
    device.Write(Frame(7, CMD_GET_CHECKSUM)).Read(std::to_string(checksum));
    if (flashReplies.empty()) // a wrong checksum: nothing follows it
        return;
    device.Write(Frame(7, CMD_PROGRAM));
    for (const std::string& reply : flashReplies)
        device.Read(reply);
}

// The loader's sums of MakeSegment records, worked out apart from the product's code.
constexpr std::int32_t SUM_OF_100 = -1556952908;

struct ScriptedTransfer {
    FakeClock clock;
    ScriptedDevice device{clock};
    RecordingLog log;
    RecordingProgress progress;
    CountingPump pump;
    SegmentTransfer transfer{device, clock, log, progress, pump};
};

class SegmentTransferTest : public ::testing::Test, public ScriptedTransfer {};

// Flag 0 takes the length from word 1; a record of type 0 is sent without its last 8 bytes.
TEST_F(SegmentTransferTest, LengthAndBytesSentFollowFlagAndType) {
    SegmentImage flagZero = MakeSegment(200, 14, 0);
    flagZero.word1 = 100;
    ScriptTransfer(device, flagZero, 100, 206, -1556952808, {"OK"});
    const SegmentImage typeZero = MakeSegment(20, 0);
    ScriptTransfer(device, typeZero, 20, 18, -1515671092, {"OK"});

    EXPECT_EQ(transfer.UpdateSegment(flagZero), STATUS_COMPLETE);
    EXPECT_EQ(transfer.UpdateSegment(typeZero), STATUS_COMPLETE);
    EXPECT_TRUE(device.Done());
}

// "Loading ... " is logged before the load is announced; a failed write is not followed by a
// pause, and nothing follows it. Nothing is flashed after a wrong checksum either.
TEST_F(SegmentTransferTest, FailedLoadWritesAndWrongChecksumsEndTheSegmentAtOnce) {
    const SegmentImage segment = MakeSegment(2000);
    const auto data = segment.data.begin();
    device.Write(ResetFrame()).Read("OK").Write(Frame(2013, CMD_LOAD), FAIL);
    device.Write(ResetFrame()).Read("OK").Write(Frame(2013, CMD_LOAD));
    device.Write(Bytes(data, data + 1024)).Write(Bytes(data + 1024, data + 2006), FAIL);

    EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_LOAD_FAILED);
    EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_LOAD_FAILED);
    EXPECT_TRUE(device.Done());
    EXPECT_EQ(device.Trail(), (std::vector<std::string>{"W12", "S10", "R", "W12", "W12", "S10", "R",
                                                        "W12", "S10", "W1024", "S10", "W982"}));
    EXPECT_EQ(log.text(), "    Loading ...     Loading ... ");

    const SegmentImage hundred = MakeSegment(100);
    ScriptTransfer(device, hundred, 100, 106, SUM_OF_100 + 1, {});
    EXPECT_EQ(transfer.UpdateSegment(hundred), STATUS_CHECKSUM_MISMATCH);
    EXPECT_TRUE(device.Done());
    EXPECT_TRUE(log.text().ends_with(" ... Check Sum Error")) << log.text();
}

// The flash replies up to the one that ends the segment: progress lines step the bar.
TEST(FlashReplies, AreClassifiedInOrder) {
    const struct {
        const char* name;
        std::vector<std::string> replies;
        StatusCode expected;
        int flashSteps;
        bool logsOk;
    } cases[] = {
        {"ProgressAndOthersThenOk",
         {"ERAS:0", "RTNNG", "", "ERAS", "PROG:12", "DATA IS THE LATEST UPD", "RTNOK", "OK"},
         STATUS_COMPLETE,
         3,
         true},
        {"OkWithTrailingText", {"OK, DONE\r\n"}, STATUS_COMPLETE, 0, true},
        {"AlreadyLatest", {"ERAS:0", "DATA IS THE LATEST UPDA"}, STATUS_COMPLETE, 1, false},
        {"EraseFailed", {"ERAS:0", "ERASE NG"}, STATUS_PROGRAM_FAILED, 1, false},
        {"ProgramFailed", {"ERAS:0", "PROG:0", "PROGRAM NG 3"}, STATUS_PROGRAM_FAILED, 2, false},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        ScriptedTransfer on;
        const SegmentImage segment = MakeSegment(100);
        ScriptTransfer(on.device, segment, segment.length, segment.byteCount, SUM_OF_100,
                       c.replies);
        EXPECT_EQ(on.transfer.UpdateSegment(segment), c.expected);
        EXPECT_TRUE(on.device.Done());
        EXPECT_EQ(on.progress.steps, 1 + c.flashSteps);
        EXPECT_EQ(on.pump.pumps, 1 + c.flashSteps);
        const std::string tail =
            c.logsOk ? "    Write to flash ... OK\r\n" : "    Write to flash ... ";
        EXPECT_TRUE(on.log.text().ends_with(tail)) << on.log.text();
    }
}

// Records that would make the transfer read outside the buffer or flash outside the
// instrument's blocks, refused before anything is sent.
TEST_F(SegmentTransferTest, UnsafeSegmentsAreRefusedBeforeAnythingIsSent) {
    const std::function<void(SegmentImage&)> spoils[] = {
        [](SegmentImage& s) { s.length = 7; },
        [](SegmentImage& s) { s.flag = 0, s.word1 = 0; },
        [](SegmentImage& s) { s.byteCount = static_cast<std::uint32_t>(s.data.size() + 1); },
        [](SegmentImage& s) { s.length = static_cast<std::uint32_t>(s.data.size() - 1); },
        [](SegmentImage& s) { s.type = 0, s.byteCount = 7; },
        [](SegmentImage& s) { s.type = 71; },
    };
    for (const auto& spoil : spoils) {
        SegmentImage segment = MakeSegment(100);
        spoil(segment);
        EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_FILE_CORRUPT);
    }
    EXPECT_EQ(log.text(), "");
    EXPECT_EQ(progress.high, 100) << "progress bar touched";
}

} // namespace
