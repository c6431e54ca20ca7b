// One row per way an update can fail, and per fault of the simulated instrument during a
// segment transfer: the code reported, whether the operator was asked, the last thing the
// utility put on the wire (nothing follows the failing step), the flash afterwards, and a
// clean ending (session closed, buttons enabled, close guard released).

#include "UpdateRig.h"
#include "link/WriterProtocol.h"

#include <bit>
#include <functional>
#include <gtest/gtest.h>

namespace {

using sim::FaultKind;
using Call = FaultyVisa::Call;

// What a row changes in the bench, the file or the operator's answer.
struct Variant {
    sim::InstrumentConfig instrument = Instrument();
    ImageContents firmware = TestFirmware();
    std::vector<FaultyVisa::Rule> rules;
    MessageAnswer answer = MessageAnswer::Yes;
};

struct FaultCase {
    const char* label;
    StatusCode code;
    bool asked;       // the confirmation box was shown
    std::string last; // the start of the last write as Described; empty: nothing written
    int flashed;      // bit n set: segment n is in the flash afterwards
    std::vector<std::function<void(Variant&)>> changes = {};

    FaultCase& Sim(FaultKind kind, int command, int segment = 1, std::uint32_t count = 0,
                   const char* reply = "") {
        changes.push_back([=](Variant& v) {
            v.instrument.faults.push_back({kind, command, segment, reply, count});
        });
        return *this;
    }
    FaultCase& Rule(Call call, const char* match, ViStatus status, int occurrence = 1) {
        changes.push_back([=](Variant& v) {
            v.rules.push_back({call, match, occurrence, status});
        });
        return *this;
    }
    FaultCase& Set(std::function<void(Variant&)> change) {
        changes.push_back(std::move(change));
        return *this;
    }
};

FaultCase Row(const char* label, StatusCode code, bool asked, std::string last, int flashed = 0) {
    return {label, code, asked, std::move(last), flashed};
}

// The last attempted write as the rows name it: "!" first when it failed, then a frame by its
// command, the text itself, or the kind of payload.
std::string Described(const FaultyVisa::Attempt& attempt) {
    const std::vector<std::uint8_t>& bytes = attempt.bytes;
    const bool text = std::all_of(bytes.begin(), bytes.end(), [](std::uint8_t b) {
        return b == '\n' || (b >= 0x20 && b < 0x7F);
    });
    std::string what = bytes.size() == 12 && bytes[0] == FRAME_MARKER
                           ? "frame " + std::to_string(bytes[5])
                       : text               ? std::string(bytes.begin(), bytes.end())
                       : bytes.size() == 1  ? "type byte"
                       : bytes.size() == 12 ? "length field"
                                            : "data";
    return (attempt.status == VI_SUCCESS ? "" : "!") + what;
}

std::string Frame(int command) {
    return "frame " + std::to_string(command);
}

const auto DECLINE = [](Variant& v) { v.answer = MessageAnswer::No; };
constexpr bool ASKED = true;
constexpr int ALL = 0b11111;

const FaultCase FAULT_CASES[] = {
    // Connecting and confirming.
    Row("open fails", STATUS_CONNECT_FAILED, !ASKED, "").Rule(Call::Open, "", VI_ERROR_RSRC_NFOUND),
    Row("time-out cannot be set", STATUS_CONNECT_FAILED, !ASKED, "")
        .Rule(Call::SetAttribute, "", VI_ERROR_NSUP_ATTR),
    Row("display text not written", STATUS_WRITE_FAILED, !ASKED, "!DISP:TEXT \"")
        .Rule(Call::Write, "DISP:TEXT \"", VI_ERROR_TMO),
    Row("declined", STATUS_CANCELLED, ASKED, "DISP:TEXT:CLEAR\n").Set(DECLINE),
    Row("declined, display not cleared", STATUS_WRITE_FAILED, ASKED, "!DISP:TEXT:CLEAR")
        .Rule(Call::Write, "DISP:TEXT:CLEAR", VI_ERROR_TMO)
        .Set(DECLINE),
    // Switching to the loader.
    Row("switch session not opened", STATUS_CONNECT_FAILED, ASKED, "*IDN?")
        .Rule(Call::Open, "", VI_ERROR_RSRC_BUSY, 2),
    Row("switch command timed out", STATUS_WRITE_FAILED, ASKED, "!syst:update")
        .Rule(Call::Write, "syst:update", VI_ERROR_TMO),
    Row("loader back too late", STATUS_CONNECT_FAILED, ASKED, "syst:update TQ4800\n")
        .Set([](Variant& v) { v.instrument.rebootMs = 4000; }),
    // The open after the 2500 ms wait keeps looking for 1000 ms more.
    Row("loader on the bus 3.4 s after the switch", STATUS_COMPLETE, ASKED, Frame(CMD_PROGRAM), ALL)
        .Set([](Variant& v) {
            v.instrument.rebootMs = 3000;
            v.instrument.enumerateMs = 400;
        }),
    // Identifying the loader and comparing revisions.
    Row("identity not the loader's", STATUS_NOT_COMPLETE, ASKED, "*IDN?")
        .Sim(FaultKind::WrongReply, sim::IDENTITY_QUERY, 0, 0, "TQ4800 BUSY"),
    Row("identity query not written", STATUS_WRITE_FAILED, ASKED, "!*IDN?")
        .Sim(FaultKind::FailWrite, sim::IDENTITY_QUERY, 0),
    Row("identity not answered", STATUS_READ_FAILED, ASKED, "*IDN?")
        .Sim(FaultKind::NoReply, sim::IDENTITY_QUERY, 0),
    Row("instrument newer", STATUS_DEVICE_NEWER, ASKED, "*IDN?").Set([](Variant& v) {
        v.instrument.revisions.fpga2 = "09";
    }),
    Row("revision field unreadable", STATUS_DEVICE_REV_UNKNOWN, ASKED, "*IDN?")
        .Sim(FaultKind::WrongReply, sim::IDENTITY_QUERY, 0, 0, "WRITER,TQ4800,TW00012345,1.05")
        .Set([](Variant& v) { v.instrument.mode = sim::Mode::Loader; }),
    Row("file revision unusable", STATUS_FILE_REV_BAD, ASKED, "*IDN?").Set([](Variant& v) {
        v.firmware.segments[3].revision = "1,10";
    }),
    // Transferring a segment.
    Row("reset not answered", STATUS_RESET_FAILED, ASKED, Frame(CMD_RESET))
        .Sim(FaultKind::NoReply, CMD_RESET),
    Row("reset not written", STATUS_RESET_FAILED, ASKED, "!" + Frame(CMD_RESET))
        .Sim(FaultKind::FailWrite, CMD_RESET),
    Row("load not announced", STATUS_LOAD_FAILED, ASKED, "!" + Frame(CMD_LOAD))
        .Sim(FaultKind::FailWrite, CMD_LOAD),
    Row("data chunk not written", STATUS_LOAD_FAILED, ASKED, "!data", 0b00111)
        .Sim(FaultKind::FailWrite, sim::DATA_WRITE, 4, 2000),
    Row("unplugged during the data", STATUS_LOAD_FAILED, ASKED, "!data", 0b00111)
        .Sim(FaultKind::UnplugAfterData, sim::DATA_WRITE, 4, 70000),
    Row("load answered wrongly", STATUS_NOT_COMPLETE, ASKED, "data")
        .Sim(FaultKind::WrongReply, CMD_LOAD, 1, 0, "NG"),
    Row("load not answered", STATUS_LOAD_END_FAILED, ASKED, "data")
        .Sim(FaultKind::NoReply, CMD_LOAD),
    Row("load end not written", STATUS_LOAD_END_FAILED, ASKED, "!" + Frame(CMD_LOAD_DONE))
        .Sim(FaultKind::FailWrite, CMD_LOAD_DONE),
    Row("load not confirmed", STATUS_LOAD_END_FAILED, ASKED, Frame(CMD_LOAD_DONE))
        .Sim(FaultKind::NoReply, CMD_LOAD_DONE),
    Row("type not confirmed", STATUS_SET_TYPE_FAILED, ASKED, "type byte")
        .Sim(FaultKind::NoReply, CMD_SET_TYPE),
    Row("type not written", STATUS_SET_TYPE_FAILED, ASKED, "!" + Frame(CMD_SET_TYPE))
        .Sim(FaultKind::FailWrite, CMD_SET_TYPE),
    Row("length not written", STATUS_SET_LENGTH_FAILED, ASKED, "!" + Frame(CMD_SET_LENGTH))
        .Sim(FaultKind::FailWrite, CMD_SET_LENGTH),
    Row("length answered with a line end", STATUS_NOT_COMPLETE, ASKED, "length field")
        .Sim(FaultKind::WrongReply, CMD_SET_LENGTH, 1, 0, "OK\n"),
    Row("length not confirmed", STATUS_SET_LENGTH_FAILED, ASKED, "length field")
        .Sim(FaultKind::NoReply, CMD_SET_LENGTH),
    Row("checksum not answered", STATUS_CHECKSUM_QUERY_FAILED, ASKED, Frame(CMD_GET_CHECKSUM))
        .Sim(FaultKind::NoReply, CMD_GET_CHECKSUM),
    Row("checksum query not written", STATUS_CHECKSUM_QUERY_FAILED, ASKED,
        "!" + Frame(CMD_GET_CHECKSUM))
        .Sim(FaultKind::FailWrite, CMD_GET_CHECKSUM),
    Row("data corrupted", STATUS_CHECKSUM_MISMATCH, ASKED, Frame(CMD_GET_CHECKSUM), 0b00001)
        .Sim(FaultKind::CorruptByte, sim::DATA_WRITE, 2, 30),
    Row("program command not written", STATUS_PROGRAM_FAILED, ASKED, "!" + Frame(CMD_PROGRAM))
        .Sim(FaultKind::FailWrite, CMD_PROGRAM),
    Row("erase fails in the third", STATUS_PROGRAM_FAILED, ASKED, Frame(CMD_PROGRAM), 0b00011)
        .Sim(FaultKind::EraseNg, sim::ANY_COMMAND, 3),
    Row("program fails", STATUS_PROGRAM_FAILED, ASKED, Frame(CMD_PROGRAM), 0b00111)
        .Sim(FaultKind::ProgramNg, sim::ANY_COMMAND, 4),
    Row("flash result not answered", STATUS_FLASH_REPLY_FAILED, ASKED, Frame(CMD_PROGRAM), 0b00001)
        .Sim(FaultKind::NoReply, CMD_PROGRAM),
    // Loader answers that are not failures.
    Row("segment already the latest", STATUS_COMPLETE, ASKED, Frame(CMD_PROGRAM), ALL & ~0b00100)
        .Sim(FaultKind::AlreadyLatest, sim::ANY_COMMAND, 3),
    Row("checksum printed unsigned", STATUS_COMPLETE, ASKED, Frame(CMD_PROGRAM), ALL)
        .Sim(FaultKind::ChecksumUnsigned, sim::ANY_COMMAND, 0),
};

class UpdateFaults : public testing::TestWithParam<FaultCase> {};

TEST_P(UpdateFaults, EndsWithOneReportAndAClosedSession) {
    const FaultCase& row = GetParam();
    Variant variant;
    for (const auto& change : row.changes)
        change(variant);
    UpdateRig rig({{variant.instrument}}, variant.rules, variant.firmware);
    rig.boxes.answer = variant.answer;
    UpdateOutcome outcome = rig.Run();

    EXPECT_TRUE(outcome.instrumentFound);
    EXPECT_EQ(row.code, outcome.status);
    EXPECT_EQ(row.code == STATUS_COMPLETE ? std::vector<StatusCode>{}
                                          : std::vector<StatusCode>{row.code},
              rig.log.reported);
    const std::size_t boxes = (row.asked ? 1u : 0u) + (row.code == STATUS_COMPLETE ? 1u : 0u);
    EXPECT_EQ(boxes, rig.boxes.shown.size());

    const std::vector<FaultyVisa::Attempt>& writes = rig.faults->Writes();
    if (row.last.empty()) {
        EXPECT_TRUE(writes.empty());
    } else {
        ASSERT_FALSE(writes.empty());
        EXPECT_TRUE(Described(writes.back()).starts_with(row.last)) << Described(writes.back());
    }
    for (int position = 0; position < SEGMENT_COUNT; ++position)
        EXPECT_EQ((row.flashed >> position & 1) != 0, rig.Flash(position) != nullptr) << position;
    // The record: the segments the loader confirmed (a segment whose result never came may
    // be in the flash unconfirmed) and the one code.
    const unsigned unconfirmed = static_cast<unsigned>(row.flashed & ~rig.journal.flashed);
    EXPECT_EQ(0, rig.journal.flashed & ~row.flashed);
    EXPECT_EQ(row.code == STATUS_FLASH_REPLY_FAILED ? 1 : 0, std::popcount(unconfirmed));
    EXPECT_EQ(row.code == STATUS_COMPLETE ? ALL & ~row.flashed : 0, rig.journal.held);
    EXPECT_EQ("end " + std::to_string(row.code), rig.journal.events.back());
    ExpectRunEndedCleanly(rig);
}

INSTANTIATE_TEST_SUITE_P(EveryFailure, UpdateFaults, testing::ValuesIn(FAULT_CASES),
                         LabelName<FaultCase>);

} // namespace
