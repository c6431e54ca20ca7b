#include "link/WriterProtocol.h"

#include "ScriptedDevice.h"

#include <climits>
#include <gtest/gtest.h>

namespace {

using Trail = std::vector<std::string>;

class WriterProtocolTest : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedDevice device{clock};
    WriterProtocol writer{device, clock};
};

// A pause follows a frame only when it was written; a reply filling the whole buffer is a
// failed read.
TEST_F(WriterProtocolTest, PauseAfterWrittenFramesAndNoFullBufferReplies) {
    device.Write(ResetFrame(), FAIL).Write(ResetFrame()).Read("OK", VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(writer.ResetWriter(), STATUS_RESET_FAILED);
    EXPECT_EQ(writer.ResetWriter(), STATUS_RESET_FAILED);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "W12", "S10", "R"}));
}

// Only exactly the two letters, in either case, are a positive reply.
TEST_F(WriterProtocolTest, OkRepliesAreExactlyTwoLetters) {
    const std::pair<std::string_view, StatusCode> cases[] = {
        {"OK", STATUS_COMPLETE},
        {"ok", STATUS_COMPLETE},
        {"oK", STATUS_COMPLETE},
        {"OK\n", STATUS_NOT_COMPLETE},
        {"OK ", STATUS_NOT_COMPLETE},
        {"", STATUS_NOT_COMPLETE},
        {"O", STATUS_NOT_COMPLETE},
        {"NG", STATUS_NOT_COMPLETE},
        {std::string_view("O\0", 2), STATUS_NOT_COMPLETE},
    };
    for (const auto& [reply, expected] : cases)
        device.Write(ResetFrame()).Read(reply);
    for (const auto& [reply, expected] : cases)
        EXPECT_EQ(writer.ResetWriter(), expected) << testing::PrintToString(std::string(reply));
}

// The checksum converts like atoi but keeps the low 32 bits of the number; an empty reply
// fails and keeps the value.
TEST_F(WriterProtocolTest, ChecksumRepliesConvertLikeAtoiKeepingTheLow32Bits) {
    const std::pair<std::string_view, std::int32_t> cases[] = {
        {"-5", -5},
        {"123abc", 123},
        {"abc", 0},
        {" \t\r\n+42\r\n", 42},
        {"- 5", 0},
        {"2147483647", INT32_MAX},
        {"-2147483648", INT32_MIN},
        {"2147483648", INT32_MIN},
        {"4294967295", -1},
        {"4294967297", 1},
        {"-4294967295", 1},
        {"00000000000000000000000000000000000000009", 9},
    };
    for (const auto& [reply, value] : cases)
        device.Write(Frame(7, CMD_GET_CHECKSUM)).Read(reply);
    for (const auto& [reply, value] : cases) {
        std::int32_t checksum = 12345;
        EXPECT_EQ(writer.ReadChecksum(checksum), STATUS_COMPLETE);
        EXPECT_EQ(checksum, value) << testing::PrintToString(std::string(reply));
    }
    device.Write(Frame(7, CMD_GET_CHECKSUM)).Read("");
    std::int32_t checksum = 12345;
    EXPECT_EQ(writer.ReadChecksum(checksum), STATUS_NOT_COMPLETE);
    EXPECT_EQ(checksum, 12345);
}

} // namespace
