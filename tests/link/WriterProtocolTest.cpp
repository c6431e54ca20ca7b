#include "link/WriterProtocol.h"

#include "ScriptedDevice.h"

#include <climits>
#include <gtest/gtest.h>
#include <tuple>

namespace {

class WriterProtocolTest : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedDevice device{clock};
    WriterProtocol writer{device, clock};
};

// The length goes as its digits and zero bytes up to twelve, the longest number too.
TEST_F(WriterProtocolTest, SegmentLengthIsSentAsDigitsInTwelveBytes) {
    for (const char* digits : {"0", "4294967295"})
        device.Write(Frame(19, CMD_SET_LENGTH)).Write(LengthField(digits)).Read("OK");
    EXPECT_EQ(writer.SetSegmentLength(0), STATUS_COMPLETE);
    EXPECT_EQ(writer.SetSegmentLength(4294967295u), STATUS_COMPLETE);
    EXPECT_TRUE(device.Done());
}

// Only exactly the two letters, as the session upper-cases them, are a positive reply; a reset
// frame that could not be written, or a reply that fills the whole buffer, fails the reset.
TEST_F(WriterProtocolTest, OkRepliesAreExactlyTwoLetters) {
    const std::pair<std::string_view, StatusCode> cases[] = {
        {"OK", STATUS_COMPLETE},       {"ok", STATUS_NOT_COMPLETE},
        {"OK\n", STATUS_NOT_COMPLETE}, {std::string_view("OK\0K", 4), STATUS_NOT_COMPLETE},
        {"", STATUS_NOT_COMPLETE},     {"O", STATUS_NOT_COMPLETE},
        {"NG", STATUS_NOT_COMPLETE},   {std::string_view("O\0", 2), STATUS_NOT_COMPLETE},
    };
    for (const auto& [reply, expected] : cases)
        device.Write(ResetFrame()).Read(reply);
    for (const auto& [reply, expected] : cases)
        EXPECT_EQ(writer.ResetWriter(), expected) << testing::PrintToString(std::string(reply));
    device.Write(ResetFrame(), FAIL).Write(ResetFrame()).Read("OK", VI_SUCCESS_MAX_CNT);
    EXPECT_EQ(writer.ResetWriter(), STATUS_RESET_FAILED);
    EXPECT_EQ(writer.ResetWriter(), STATUS_RESET_FAILED);
}

// A decimal reply keeps the low 32 bits of its number; any other reply fails the query
// and an empty one is a wrong reply, both keeping the value.
TEST_F(WriterProtocolTest, ChecksumRepliesAreDecimalNumbersKeepingTheLow32Bits) {
    // The reply, the result, the value afterwards.
    const std::tuple<std::string_view, StatusCode, std::int32_t> cases[] = {
        {"-5", STATUS_COMPLETE, -5},
        {"+42\r\n", STATUS_COMPLETE, 42},
        {"42\n", STATUS_COMPLETE, 42},
        {"2147483647", STATUS_COMPLETE, INT32_MAX},
        {"-2147483648", STATUS_COMPLETE, INT32_MIN},
        {"2147483648", STATUS_COMPLETE, INT32_MIN},
        {"4294967295", STATUS_COMPLETE, -1},
        {"4294967297", STATUS_COMPLETE, 1},
        {"-4294967295", STATUS_COMPLETE, 1},
        {"00000000000000000000000000000000000000009", STATUS_COMPLETE, 9},
        {"NG", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"123abc", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {" 42", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"- 5", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"-", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"\r\n", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"42\n\n", STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {std::string_view("0\0", 2), STATUS_CHECKSUM_QUERY_FAILED, 12345},
        {"", STATUS_NOT_COMPLETE, 12345},
    };
    for (const auto& [reply, status, value] : cases)
        device.Write(Frame(7, CMD_GET_CHECKSUM)).Read(reply);
    for (const auto& [reply, status, value] : cases) {
        std::int32_t checksum = 12345;
        EXPECT_EQ(writer.ReadChecksum(checksum), status)
            << testing::PrintToString(std::string(reply));
        EXPECT_EQ(checksum, value) << testing::PrintToString(std::string(reply));
    }
}

} // namespace
