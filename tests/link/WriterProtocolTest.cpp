#include "link/WriterProtocol.h"

#include "ScriptedDevice.h"

#include <climits>
#include <functional>
#include <gtest/gtest.h>

namespace {

using Trail = std::vector<std::string>;

class WriterProtocolTest : public ::testing::Test {
protected:
    FakeClock clock;
    ScriptedDevice device{clock};
    WriterProtocol writer{device, clock};
};

TEST_F(WriterProtocolTest, ResetFrameCarriesTheResetCharacters) {
    device.Write({0xAB, 0x00, 0x00, 0x00, 0x07, 0x0A, 0x52, 0x45, 0x53, 0x45, 0x54, 0x21})
        .Read("OK");
    EXPECT_EQ(writer.ResetWriter(), STATUS_COMPLETE);
    EXPECT_TRUE(device.Done());
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10", "R"}));
}

TEST_F(WriterProtocolTest, ProgramSendsOnlyItsFrameAndReadsNothing) {
    device.Write({0xAB, 0x00, 0x00, 0x00, 0x07, 0x03, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    EXPECT_EQ(writer.ProgramFlash(), STATUS_COMPLETE);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10"}));
}

TEST_F(WriterProtocolTest, LoadAnnouncesItsBodyBigEndianAndReadsNothing) {
    device.Write({0xAB, 0x00, 0x01, 0x00, 0x07, 0x0C, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06});
    EXPECT_EQ(writer.StartLoad(65536 + 7), STATUS_COMPLETE);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10"}));
}

TEST_F(WriterProtocolTest, FinishLoadReadsTheLoadReplyBeforeItsOwnFrame) {
    device.Read("OK").Write(Frame(7, CMD_LOAD_DONE)).Read("OK");
    EXPECT_EQ(writer.FinishLoad(), STATUS_COMPLETE);
    EXPECT_EQ(device.Trail(), (Trail{"R", "W12", "S10", "R"}));
}

TEST_F(WriterProtocolTest, SegmentTypeByteFollowsItsFrameWithoutPause) {
    device.Write({0xAB, 0x00, 0x00, 0x00, 0x08, 0x14, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06})
        .Write({14})
        .Read("OK");
    EXPECT_EQ(writer.SetSegmentType(14), STATUS_COMPLETE);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10", "W1", "R"}));
}

TEST_F(WriterProtocolTest, ChecksumQueryFrame) {
    device.Write(Frame(7, CMD_GET_CHECKSUM)).Read("17");
    std::int32_t checksum = 0;
    EXPECT_EQ(writer.ReadChecksum(checksum), STATUS_COMPLETE);
    EXPECT_EQ(checksum, 17);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10", "R"}));
}

TEST_F(WriterProtocolTest, PrepareFlashSendsNothing) {
    EXPECT_EQ(writer.PrepareFlash(), STATUS_COMPLETE);
    EXPECT_TRUE(device.Trail().empty());
}

struct LengthCase {
    std::uint32_t count;
    std::string_view digits;
};

void PrintTo(const LengthCase& c, std::ostream* os) {
    *os << c.count;
}

class SegmentLengthTest : public WriterProtocolTest,
                          public ::testing::WithParamInterface<LengthCase> {};

TEST_P(SegmentLengthTest, DecimalDigitsNulAndZeroPaddingToTwelveBytes) {
    device.Write({0xAB, 0x00, 0x00, 0x00, 0x13, 0x07, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06})
        .Write(LengthField(GetParam().digits))
        .Read("OK");
    EXPECT_EQ(writer.SetSegmentLength(GetParam().count), STATUS_COMPLETE);
    EXPECT_EQ(device.Trail(), (Trail{"W12", "S10", "W12", "R"}));
}

INSTANTIATE_TEST_SUITE_P(Counts, SegmentLengthTest,
                         ::testing::Values(LengthCase{0, "0"}, LengthCase{65530, "65530"},
                                           LengthCase{4294967295u, "4294967295"}));

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

// Each step's failures: the script ends at the failing exchange, so any later write or read
// is itself reported as a failure, and the trail shows that no pause followed it.
struct FailureCase {
    const char* name;
    std::function<StatusCode(WriterProtocol&)> step;
    std::function<void(ScriptedDevice&)> script;
    StatusCode expected;
    Trail trail;
};

void PrintTo(const FailureCase& c, std::ostream* os) {
    *os << c.name;
}

class StepFailureTest : public WriterProtocolTest,
                        public ::testing::WithParamInterface<FailureCase> {};

TEST_P(StepFailureTest, StopsWithTheStepsOwnCode) {
    GetParam().script(device);
    EXPECT_EQ(GetParam().step(writer), GetParam().expected);
    EXPECT_TRUE(device.Done());
    EXPECT_EQ(device.Trail(), GetParam().trail);
}

StatusCode Checksum(WriterProtocol& writer) {
    std::int32_t value = 0;
    return writer.ReadChecksum(value);
}

INSTANTIATE_TEST_SUITE_P(
    Steps, StepFailureTest,
    ::testing::Values(
        FailureCase{"ResetWrite", &WriterProtocol::ResetWriter,
                    [](ScriptedDevice& d) { d.Write(ResetFrame(), FAIL); }, STATUS_RESET_FAILED,
                    Trail{"W12"}},
        FailureCase{"ResetRead", &WriterProtocol::ResetWriter,
                    [](ScriptedDevice& d) { d.Write(ResetFrame()).Read("OK", VI_ERROR_TMO); },
                    STATUS_RESET_FAILED, Trail{"W12", "S10", "R"}},
        FailureCase{"ResetReadMaxCount", &WriterProtocol::ResetWriter,
                    [](ScriptedDevice& d) { d.Write(ResetFrame()).Read("OK", VI_SUCCESS_MAX_CNT); },
                    STATUS_RESET_FAILED, Trail{"W12", "S10", "R"}},
        FailureCase{"LoadWrite", [](WriterProtocol& w) { return w.StartLoad(7); },
                    [](ScriptedDevice& d) { d.Write(Frame(7, CMD_LOAD), FAIL); },
                    STATUS_LOAD_FAILED, Trail{"W12"}},
        FailureCase{"LoadReplyRead", &WriterProtocol::FinishLoad,
                    [](ScriptedDevice& d) { d.Read("", VI_ERROR_TMO); }, STATUS_LOAD_END_FAILED,
                    Trail{"R"}},
        FailureCase{"LoadReplyWrong", &WriterProtocol::FinishLoad,
                    [](ScriptedDevice& d) { d.Read("NG"); }, STATUS_NOT_COMPLETE, Trail{"R"}},
        FailureCase{"LoadDoneWrite", &WriterProtocol::FinishLoad,
                    [](ScriptedDevice& d) { d.Read("OK").Write(Frame(7, CMD_LOAD_DONE), FAIL); },
                    STATUS_LOAD_END_FAILED, Trail{"R", "W12"}},
        FailureCase{"LoadDoneRead", &WriterProtocol::FinishLoad,
                    [](ScriptedDevice& d) {
                        d.Read("OK").Write(Frame(7, CMD_LOAD_DONE)).Read("", VI_ERROR_TMO);
                    },
                    STATUS_LOAD_END_FAILED, Trail{"R", "W12", "S10", "R"}},
        FailureCase{"TypeFrameWrite", [](WriterProtocol& w) { return w.SetSegmentType(3); },
                    [](ScriptedDevice& d) { d.Write(Frame(8, CMD_SET_TYPE), FAIL); },
                    STATUS_SET_TYPE_FAILED, Trail{"W12"}},
        FailureCase{"TypeByteWrite", [](WriterProtocol& w) { return w.SetSegmentType(3); },
                    [](ScriptedDevice& d) { d.Write(Frame(8, CMD_SET_TYPE)).Write({3}, FAIL); },
                    STATUS_SET_TYPE_FAILED, Trail{"W12", "S10", "W1"}},
        FailureCase{"TypeRead", [](WriterProtocol& w) { return w.SetSegmentType(3); },
                    [](ScriptedDevice& d) {
                        d.Write(Frame(8, CMD_SET_TYPE)).Write({3}).Read("", VI_ERROR_TMO);
                    },
                    STATUS_SET_TYPE_FAILED, Trail{"W12", "S10", "W1", "R"}},
        FailureCase{"LengthFrameWrite", [](WriterProtocol& w) { return w.SetSegmentLength(9); },
                    [](ScriptedDevice& d) { d.Write(Frame(19, CMD_SET_LENGTH), FAIL); },
                    STATUS_SET_LENGTH_FAILED, Trail{"W12"}},
        FailureCase{"LengthFieldWrite", [](WriterProtocol& w) { return w.SetSegmentLength(9); },
                    [](ScriptedDevice& d) {
                        d.Write(Frame(19, CMD_SET_LENGTH)).Write(LengthField("9"), FAIL);
                    },
                    STATUS_SET_LENGTH_FAILED, Trail{"W12", "S10", "W12"}},
        FailureCase{
            "LengthRead", [](WriterProtocol& w) { return w.SetSegmentLength(9); },
            [](ScriptedDevice& d) {
                d.Write(Frame(19, CMD_SET_LENGTH)).Write(LengthField("9")).Read("", VI_ERROR_TMO);
            },
            STATUS_SET_LENGTH_FAILED, Trail{"W12", "S10", "W12", "R"}},
        FailureCase{"LengthWrongReply", [](WriterProtocol& w) { return w.SetSegmentLength(9); },
                    [](ScriptedDevice& d) {
                        d.Write(Frame(19, CMD_SET_LENGTH)).Write(LengthField("9")).Read("OK\n");
                    },
                    STATUS_NOT_COMPLETE, Trail{"W12", "S10", "W12", "R"}},
        FailureCase{"ChecksumWrite", Checksum,
                    [](ScriptedDevice& d) { d.Write(Frame(7, CMD_GET_CHECKSUM), FAIL); },
                    STATUS_CHECKSUM_QUERY_FAILED, Trail{"W12"}},
        FailureCase{
            "ChecksumRead", Checksum,
            [](ScriptedDevice& d) { d.Write(Frame(7, CMD_GET_CHECKSUM)).Read("5", VI_ERROR_TMO); },
            STATUS_CHECKSUM_QUERY_FAILED, Trail{"W12", "S10", "R"}},
        FailureCase{"ProgramWrite", &WriterProtocol::ProgramFlash,
                    [](ScriptedDevice& d) { d.Write(Frame(7, CMD_PROGRAM), FAIL); },
                    STATUS_PROGRAM_FAILED, Trail{"W12"}}),
    [](const ::testing::TestParamInfo<FailureCase>& info) { return info.param.name; });

TEST(CommandFrameTest, FieldsAtTheirOffsetsWithBodyLengthBigEndian) {
    const std::uint8_t param[6] = {0x11, 0x22, 0x33, 0x44, 0x55, 0x66};
    const CommandFrame frame = BuildCommandFrame(0xAB, 0x89ABCDEF, 0x42, param);
    EXPECT_EQ(Bytes(frame.begin(), frame.end()),
              (Bytes{0xAB, 0x89, 0xAB, 0xCD, 0xEF, 0x42, 0x11, 0x22, 0x33, 0x44, 0x55, 0x66}));
}

} // namespace
