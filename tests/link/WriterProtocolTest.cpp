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

struct OkCase {
    std::string_view reply;
    StatusCode expected;
};

void PrintTo(const OkCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.reply));
}

class OkReplyTest : public WriterProtocolTest, public ::testing::WithParamInterface<OkCase> {};

TEST_P(OkReplyTest, OnlyExactlyTheTwoLettersPass) {
    device.Write(ResetFrame()).Read(GetParam().reply);
    EXPECT_EQ(writer.ResetWriter(), GetParam().expected);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, OkReplyTest,
    ::testing::Values(OkCase{"OK", STATUS_COMPLETE}, OkCase{"ok", STATUS_COMPLETE},
                      OkCase{"oK", STATUS_COMPLETE}, OkCase{"OK\n", STATUS_NOT_COMPLETE},
                      OkCase{"OK\r\n", STATUS_NOT_COMPLETE}, OkCase{"OK ", STATUS_NOT_COMPLETE},
                      OkCase{"", STATUS_NOT_COMPLETE}, OkCase{"O", STATUS_NOT_COMPLETE},
                      OkCase{"NG", STATUS_NOT_COMPLETE},
                      OkCase{std::string_view("O\0", 2), STATUS_NOT_COMPLETE}));

struct ChecksumCase {
    std::string_view reply;
    std::int32_t value;
};

void PrintTo(const ChecksumCase& c, std::ostream* os) {
    *os << ::testing::PrintToString(std::string(c.reply));
}

class ChecksumReplyTest : public WriterProtocolTest,
                          public ::testing::WithParamInterface<ChecksumCase> {};

TEST_P(ChecksumReplyTest, ConvertsLikeAtoiKeepingTheLow32Bits) {
    device.Write(Frame(7, CMD_GET_CHECKSUM)).Read(GetParam().reply);
    std::int32_t checksum = 12345;
    EXPECT_EQ(writer.ReadChecksum(checksum), STATUS_COMPLETE);
    EXPECT_EQ(checksum, GetParam().value);
}

INSTANTIATE_TEST_SUITE_P(
    Replies, ChecksumReplyTest,
    ::testing::Values(ChecksumCase{"-5", -5}, ChecksumCase{"123abc", 123}, ChecksumCase{"abc", 0},
                      ChecksumCase{" \t\r\n+42\r\n", 42}, ChecksumCase{"- 5", 0},
                      ChecksumCase{"2147483647", INT32_MAX}, ChecksumCase{"-2147483648", INT32_MIN},
                      ChecksumCase{"2147483648", INT32_MIN}, ChecksumCase{"4294967295", -1},
                      ChecksumCase{"4294967297", 1}, ChecksumCase{"-4294967295", 1},
                      ChecksumCase{"00000000000000000000000000000000000000009", 9}));

TEST_F(WriterProtocolTest, EmptyChecksumReplyFailsAndKeepsTheValue) {
    device.Write(Frame(7, CMD_GET_CHECKSUM)).Read("");
    std::int32_t checksum = 12345;
    EXPECT_EQ(writer.ReadChecksum(checksum), STATUS_NOT_COMPLETE);
    EXPECT_EQ(checksum, 12345);
}

} // namespace
