// One row per way an update can fail, and per fault of the simulated instrument during a
// segment transfer: the code reported, what the operator was asked, the last thing the
// utility put on the wire (nothing follows the failing step), the flash afterwards, and a
// clean ending (session closed, buttons enabled, close guard released).

#include "UpdateRig.h"
#include "link/WriterProtocol.h"

#include <gtest/gtest.h>

namespace {

using sim::FaultKind;
using Call = FaultyVisa::Call;

// What the last attempted write must be.
struct LastWrite {
    enum class Kind { Nothing, Text, Frame, Data, TypeByte, LengthField } kind;
    const char* text = "";
    int command = 0;
    bool failed = false;
};

LastWrite Text(const char* text, bool failed = false) {
    return {LastWrite::Kind::Text, text, 0, failed};
}
LastWrite Frame(int command, bool failed = false) {
    return {LastWrite::Kind::Frame, "", command, failed};
}
constexpr LastWrite NOTHING{LastWrite::Kind::Nothing};

bool IsFrame(const std::vector<std::uint8_t>& bytes) {
    return bytes.size() == 12 && bytes[0] == FRAME_MARKER;
}

bool Matches(const LastWrite& expected, const FaultyVisa::Attempt& attempt) {
    const std::vector<std::uint8_t>& bytes = attempt.bytes;
    if ((attempt.status != VI_SUCCESS) != expected.failed)
        return false;
    switch (expected.kind) {
    case LastWrite::Kind::Nothing:
        return false;
    case LastWrite::Kind::Text:
        return std::string(bytes.begin(), bytes.end()).starts_with(expected.text);
    case LastWrite::Kind::Frame:
        return IsFrame(bytes) && bytes[5] == expected.command;
    case LastWrite::Kind::Data:
        return !IsFrame(bytes) && bytes.size() > 12;
    case LastWrite::Kind::TypeByte:
        return bytes.size() == 1;
    case LastWrite::Kind::LengthField:
        return !IsFrame(bytes) && bytes.size() == 12;
    }
    return false;
}

std::string Shown(const FaultyVisa::Attempt& attempt) {
    const std::size_t shown = std::min<std::size_t>(attempt.bytes.size(), 16);
    return sim::HexBytes(attempt.bytes.data(), static_cast<std::uint32_t>(shown)) +
           (attempt.status == VI_SUCCESS ? "" : " (failed)");
}

sim::Fault Fault(FaultKind kind, int command, int segment = 1, std::uint32_t count = 0,
                 const char* reply = "") {
    return {kind, command, segment, reply, count};
}

struct FaultCase {
    const char* label;
    StatusCode code;
    bool asked; // the confirmation box was shown
    LastWrite last;
    int flashed; // bit n set: segment n is in the flash afterwards
    std::vector<sim::Fault> faults = {};
    std::vector<FaultyVisa::Rule> rules = {};
    sim::Mode mode = sim::Mode::Normal;
    MessageAnswer answer = MessageAnswer::Yes;
    std::uint32_t rebootMs = 1500;
    const char* deviceFpga2 = "01";
    const char* fileMainRevision = "1.10";
};

const LastWrite DATA{LastWrite::Kind::Data, "", 0, true};
const LastWrite TYPE_BYTE{LastWrite::Kind::TypeByte};
const LastWrite LENGTH_FIELD{LastWrite::Kind::LengthField};
constexpr int ALL = 0b11111;

const FaultCase FAULT_CASES[] = {
    // Connecting and confirming.
    {"open fails",
     STATUS_CONNECT_FAILED,
     false,
     NOTHING,
     0,
     {},
     {{Call::Open, "", 1, VI_ERROR_RSRC_NFOUND}}},
    {"time-out cannot be set",
     STATUS_CONNECT_FAILED,
     false,
     NOTHING,
     0,
     {},
     {{Call::SetAttribute, "", 1, VI_ERROR_NSUP_ATTR}}},
    {"display text not written",
     STATUS_WRITE_FAILED,
     false,
     Text("DISP:TEXT \"", true),
     0,
     {},
     {{Call::Write, "DISP:TEXT \"", 1, VI_ERROR_TMO}}},
    {"declined",
     STATUS_CANCELLED,
     true,
     Text("DISP:TEXT:CLEAR\n"),
     0,
     {},
     {},
     sim::Mode::Normal,
     MessageAnswer::No},
    {"declined, display not cleared",
     STATUS_WRITE_FAILED,
     true,
     Text("DISP:TEXT:CLEAR", true),
     0,
     {},
     {{Call::Write, "DISP:TEXT:CLEAR", 1, VI_ERROR_TMO}},
     sim::Mode::Normal,
     MessageAnswer::No},
    // Switching to the loader.
    {"switch session not opened",
     STATUS_CONNECT_FAILED,
     true,
     Text("*IDN?"),
     0,
     {},
     {{Call::Open, "", 2, VI_ERROR_RSRC_BUSY}}},
    {"switch command not written",
     STATUS_WRITE_FAILED,
     true,
     Text("syst:update", true),
     0,
     {},
     {{Call::Write, "syst:update", 1, VI_ERROR_IO}}},
    {"loader back too late",
     STATUS_CONNECT_FAILED,
     true,
     Text("syst:update TQ4800\n"),
     0,
     {},
     {},
     sim::Mode::Normal,
     MessageAnswer::Yes,
     4000},
    // Identifying the loader and comparing revisions.
    {"identity not the loader's",
     STATUS_NOT_COMPLETE,
     true,
     Text("*IDN?"),
     0,
     {Fault(FaultKind::WrongReply, sim::IDENTITY_QUERY, 0, 0, "TQ4800 BUSY")}},
    {"identity query not written",
     STATUS_WRITE_FAILED,
     true,
     Text("*IDN?", true),
     0,
     {Fault(FaultKind::FailWrite, sim::IDENTITY_QUERY, 0)}},
    {"identity not answered",
     STATUS_READ_FAILED,
     true,
     Text("*IDN?"),
     0,
     {Fault(FaultKind::NoReply, sim::IDENTITY_QUERY, 0)}},
    {"instrument newer",
     STATUS_DEVICE_NEWER,
     true,
     Text("*IDN?"),
     0,
     {},
     {},
     sim::Mode::Normal,
     MessageAnswer::Yes,
     1500,
     "09"},
    {"revision field unreadable",
     STATUS_DEVICE_REV_UNKNOWN,
     true,
     Text("*IDN?"),
     0,
     {Fault(FaultKind::WrongReply, sim::IDENTITY_QUERY, 0, 0, "WRITER,TQ4800,TW00012345,1.05")},
     {},
     sim::Mode::Loader},
    {"file revision unusable",
     STATUS_FILE_REV_BAD,
     true,
     Text("*IDN?"),
     0,
     {},
     {},
     sim::Mode::Normal,
     MessageAnswer::Yes,
     1500,
     "01",
     "1,10"},
    // Transferring a segment.
    {"reset not answered",
     STATUS_RESET_FAILED,
     true,
     Frame(CMD_RESET),
     0,
     {Fault(FaultKind::NoReply, CMD_RESET)}},
    {"reset answered wrongly",
     STATUS_NOT_COMPLETE,
     true,
     Frame(CMD_RESET),
     0,
     {Fault(FaultKind::WrongReply, CMD_RESET, 1, 0, "NG")}},
    {"load not announced",
     STATUS_LOAD_FAILED,
     true,
     Frame(CMD_LOAD, true),
     0,
     {Fault(FaultKind::FailWrite, CMD_LOAD)}},
    {"data chunk not written",
     STATUS_LOAD_FAILED,
     true,
     DATA,
     0b00111,
     {Fault(FaultKind::FailWrite, sim::DATA_WRITE, 4, 2000)}},
    {"unplugged during the data",
     STATUS_LOAD_FAILED,
     true,
     DATA,
     0b00111,
     {Fault(FaultKind::UnplugAfterData, sim::DATA_WRITE, 4, 70000)}},
    {"load not confirmed",
     STATUS_LOAD_END_FAILED,
     true,
     Frame(CMD_LOAD_DONE),
     0,
     {Fault(FaultKind::NoReply, CMD_LOAD_DONE)}},
    {"type not confirmed",
     STATUS_SET_TYPE_FAILED,
     true,
     TYPE_BYTE,
     0,
     {Fault(FaultKind::NoReply, CMD_SET_TYPE)}},
    {"length not confirmed",
     STATUS_SET_LENGTH_FAILED,
     true,
     LENGTH_FIELD,
     0,
     {Fault(FaultKind::NoReply, CMD_SET_LENGTH)}},
    {"checksum not answered",
     STATUS_CHECKSUM_QUERY_FAILED,
     true,
     Frame(CMD_GET_CHECKSUM),
     0,
     {Fault(FaultKind::NoReply, CMD_GET_CHECKSUM)}},
    {"data corrupted",
     STATUS_CHECKSUM_MISMATCH,
     true,
     Frame(CMD_GET_CHECKSUM),
     0b00001,
     {Fault(FaultKind::CorruptByte, sim::DATA_WRITE, 2, 30)}},
    {"program command not written",
     STATUS_PROGRAM_FAILED,
     true,
     Frame(CMD_PROGRAM, true),
     0,
     {Fault(FaultKind::FailWrite, CMD_PROGRAM)}},
    {"erase fails",
     STATUS_PROGRAM_FAILED,
     true,
     Frame(CMD_PROGRAM),
     0b01111,
     {Fault(FaultKind::EraseNg, sim::ANY_COMMAND, 5)}},
    {"program fails",
     STATUS_PROGRAM_FAILED,
     true,
     Frame(CMD_PROGRAM),
     0b00111,
     {Fault(FaultKind::ProgramNg, sim::ANY_COMMAND, 4)}},
    {"flash result not answered",
     STATUS_FLASH_REPLY_FAILED,
     true,
     Frame(CMD_PROGRAM),
     0b00001,
     {Fault(FaultKind::NoReply, CMD_PROGRAM)}},
    // Loader answers that are not failures.
    {"segment already the latest",
     STATUS_COMPLETE,
     true,
     Frame(CMD_PROGRAM),
     ALL & ~0b00100,
     {Fault(FaultKind::AlreadyLatest, sim::ANY_COMMAND, 3)}},
    {"checksum printed unsigned",
     STATUS_COMPLETE,
     true,
     Frame(CMD_PROGRAM),
     ALL,
     {Fault(FaultKind::ChecksumUnsigned, sim::ANY_COMMAND, 0)}},
};

void PrintTo(const FaultCase& row, std::ostream* out) {
    *out << row.label;
}

class UpdateFaults : public testing::TestWithParam<FaultCase> {};

std::unique_ptr<UpdateRig> RigFor(const FaultCase& row) {
    sim::InstrumentConfig instrument = Instrument(SERIAL, row.mode, row.faults);
    instrument.rebootMs = row.rebootMs;
    instrument.revisions.fpga2 = row.deviceFpga2;
    ImageContents firmware = TestFirmware();
    firmware.segments[3].revision = row.fileMainRevision;
    auto rig = std::make_unique<UpdateRig>(sim::BenchConfig{{instrument}}, row.rules, firmware);
    rig->boxes.answer = row.answer;
    return rig;
}

TEST_P(UpdateFaults, EndsWithOneReportAndAClosedSession) {
    const FaultCase& row = GetParam();
    std::unique_ptr<UpdateRig> rig = RigFor(row);
    UpdateOutcome outcome = rig->Run();

    EXPECT_TRUE(outcome.instrumentFound);
    EXPECT_EQ(row.code, outcome.status);
    if (row.code == STATUS_COMPLETE) {
        EXPECT_TRUE(rig->log.reported.empty());
    } else {
        EXPECT_EQ(std::vector<StatusCode>{row.code}, rig->log.reported);
    }

    const std::size_t boxes = (row.asked ? 1u : 0u) + (row.code == STATUS_COMPLETE ? 1u : 0u);
    ASSERT_EQ(boxes, rig->boxes.shown.size());
    if (row.asked) {
        EXPECT_EQ("Confirm Firmware Update", rig->boxes.shown[0].caption);
    }

    const std::vector<FaultyVisa::Attempt>& writes = rig->faults->Writes();
    if (row.last.kind == LastWrite::Kind::Nothing) {
        EXPECT_TRUE(writes.empty());
    } else {
        ASSERT_FALSE(writes.empty());
        EXPECT_TRUE(Matches(row.last, writes.back())) << "last write: " << Shown(writes.back());
    }

    for (int position = 0; position < SEGMENT_COUNT; ++position)
        EXPECT_EQ((row.flashed >> position & 1) != 0, rig->Flash(position) != nullptr)
            << "segment " << position;

    EXPECT_EQ(0u, rig->OpenSessions());
    EXPECT_EQ(0u, rig->session.m_viInstr);
    EXPECT_FALSE(rig->busy.busy);
    EXPECT_FALSE(rig->busy.updating);
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, UpdateFaults, testing::ValuesIn(FAULT_CASES),
                         LabelName<FaultCase>);

// The wait after the switch comes before the new session, also when that session fails.
TEST(UpdateFaultsTiming, WaitsForTheLoaderBeforeGivingUp) {
    UpdateRig rig({{[] {
        sim::InstrumentConfig late = Instrument();
        late.rebootMs = 4000;
        return late;
    }()}});
    rig.Run();
    ASSERT_FALSE(rig.clock.sleeps.empty());
    EXPECT_EQ(1, std::count(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 2500u));
    EXPECT_EQ((std::vector<std::string>{"ClearBusy", "Updating=0"}), rig.busy.events);
}

} // namespace
