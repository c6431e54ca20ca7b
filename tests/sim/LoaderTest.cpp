#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <cstring>
#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");
constexpr std::uint32_t LINE_MS = 25;
constexpr std::uint8_t FPGA1 = 3;
constexpr std::uint8_t MAIN = 14;

Bytes Frame(std::uint8_t command, std::uint32_t bodyLength) {
    Bytes frame = {0xAB,
                   static_cast<std::uint8_t>(bodyLength >> 24),
                   static_cast<std::uint8_t>(bodyLength >> 16),
                   static_cast<std::uint8_t>(bodyLength >> 8),
                   static_cast<std::uint8_t>(bodyLength),
                   command};
    if (command == 10)
        frame.insert(frame.end(), {'R', 'E', 'S', 'E', 'T', '!'});
    else
        frame.insert(frame.end(), {1, 2, 3, 4, 5, 6});
    return frame;
}

void PutBigEndian(Bytes& bytes, std::size_t offset, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        bytes[offset + i] = static_cast<std::uint8_t>(value >> (24 - 8 * i));
}

// A segment record as a firmware file holds it: three words, the revision, a word, the
// payload, then type and flag. L + 6 bytes in all.
Bytes Record(std::uint32_t length, const char revision[4], std::uint8_t type) {
    Bytes record(length + 6);
    PutBigEndian(record, 4, 0x00010203);
    PutBigEndian(record, 8, length);
    std::memcpy(&record[12], revision, 4);
    for (std::size_t i = 20; i < length + 4; ++i)
        record[i] = static_cast<std::uint8_t>(i * 7);
    record[length + 4] = type;
    record[length + 5] = 1;
    return record;
}

std::string Expected(std::uint32_t sum) {
    return std::to_string(static_cast<std::int32_t>(sum));
}

// Big-endian words from byte 8 for length - 8 bytes rounded up, zero past the data.
std::uint32_t WordSum(const Bytes& data, std::uint32_t length) {
    std::uint32_t sum = 0;
    for (std::size_t offset = 8; offset < 8 + (length - 8 + 3) / 4 * 4; ++offset) {
        std::uint32_t byte = offset < data.size() ? data[offset] : 0;
        sum += byte << (24 - 8 * ((offset - 8) % 4));
    }
    return sum;
}

std::string Status(ViStatus status) {
    char text[16];
    std::snprintf(text, sizeof text, "!%08X", static_cast<unsigned>(status));
    return text;
}

// Drives one segment through the loader as raw frames and notes each step's outcome as
// "step:reply" (or "step:!STATUS"), stopping at the first failure.
class Transfer {
public:
    explicit Transfer(ViSession vi) : vi_(vi) {}

    std::vector<std::string> Run(const Bytes& record, std::uint8_t type, std::uint32_t chunk) {
        std::uint32_t length = static_cast<std::uint32_t>(record.size() - 6);
        std::uint32_t n = static_cast<std::uint32_t>(record.size());
        Bytes field(12, 0);
        std::string digits = std::to_string(length);
        std::memcpy(field.data(), digits.data(), digits.size());
        bool ok = Step("reset", {Frame(10, 7)}) && Write("load", Frame(12, 7 + n)) &&
                  Data(record, chunk) && Reply("load") && Step("done", {Frame(13, 7)}) &&
                  Step("type", {Frame(20, 8), Bytes{type}}) &&
                  Step("length", {Frame(7, 19), field}) && Step("sum", {Frame(8, 7)}) &&
                  Write("program", Frame(3, 7));
        if (ok)
            FlashLines();
        return events;
    }

    std::vector<std::string> events;

private:
    bool Write(const char* step, const Bytes& bytes) {
        ViStatus status = Send(vi_, bytes);
        if (status != VI_SUCCESS)
            events.push_back(std::string(step) + ":" + Status(status));
        return status == VI_SUCCESS;
    }
    bool Data(const Bytes& record, std::uint32_t chunk) {
        for (std::size_t sent = 0; sent < record.size(); sent += chunk) {
            std::size_t size = std::min<std::size_t>(chunk, record.size() - sent);
            if (!Write("data", Bytes(record.begin() + sent, record.begin() + sent + size)))
                return false;
        }
        return true;
    }
    bool Reply(const char* step) {
        ReadResult reply = Receive(vi_);
        events.push_back(std::string(step) + ":" +
                         (reply.status == VI_SUCCESS ? reply.text : Status(reply.status)));
        return reply.status == VI_SUCCESS && (reply.text == "OK" || std::string(step) == "sum");
    }
    bool Step(const char* step, const std::vector<Bytes>& writes) {
        for (const Bytes& bytes : writes)
            if (!Write(step, bytes))
                return false;
        return Reply(step);
    }
    void FlashLines() {
        for (;;) {
            ReadResult line = Receive(vi_);
            events.push_back("flash:" +
                             (line.status == VI_SUCCESS ? line.text : Status(line.status)));
            if (line.status != VI_SUCCESS ||
                (line.text.rfind("ERAS:", 0) != 0 && line.text.rfind("PROG:", 0) != 0 &&
                 line.text != "RTNOK"))
                return;
        }
    }

    ViSession vi_;
};

struct LoaderBench {
    explicit LoaderBench(std::vector<sim::Fault> faults = {}) : bench(Config(std::move(faults))) {
        vi = OpenSession(OpenDefaultRM(), NAME);
        visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000);
    }
    static sim::BenchConfig Config(std::vector<sim::Fault> faults) {
        sim::InstrumentConfig instrument = SimInstrument("TW00012345", sim::Mode::Loader);
        instrument.flashLineMs = LINE_MS;
        instrument.faults = std::move(faults);
        return sim::BenchConfig{{instrument}};
    }

    SimulatedBench bench;
    ViSession vi = 0;
};

TEST(Loader, ProgramsASegmentSentAsRawFrames) {
    LoaderBench loader;
    Bytes record = Record(2994, "02AB", FPGA1);
    Transfer transfer(loader.vi);
    std::vector<std::string> expected = {"reset:OK",     "load:OK",
                                         "done:OK",      "type:OK",
                                         "length:OK",    "sum:" + Expected(WordSum(record, 2994)),
                                         "flash:ERAS:3", "flash:PROG:3",
                                         "flash:RTNOK",  "flash:OK"};
    EXPECT_EQ(expected, transfer.Run(record, FPGA1, 1000));

    sim::Instrument& instrument = loader.bench.Instrument();
    ASSERT_NE(nullptr, instrument.GetLoader().Flash(FPGA1));
    EXPECT_EQ(record, *instrument.GetLoader().Flash(FPGA1));
    EXPECT_EQ("1.05  A  02 01 01 1.05", instrument.RevisionField());
    // Each flash line came only after its delay, on the clock.
    EXPECT_EQ(
        4, std::count(loader.bench.clock.sleeps.begin(), loader.bench.clock.sleeps.end(), LINE_MS));
}

TEST(Loader, LargeMainSegmentErasesAndProgramsEveryBlock) {
    LoaderBench loader;
    Bytes record = Record(0x20000, "1.10", MAIN);
    Transfer transfer(loader.vi);
    std::vector<std::string> events = transfer.Run(record, MAIN, 1024);
    std::vector<std::string> flash(events.end() - 8, events.end());
    EXPECT_EQ((std::vector<std::string>{"flash:ERAS:14", "flash:ERAS:15", "flash:ERAS:16",
                                        "flash:PROG:14", "flash:PROG:15", "flash:PROG:16",
                                        "flash:RTNOK", "flash:OK"}),
              flash);
    EXPECT_EQ("1.10  A  01 01 01 1.05", loader.bench.Instrument().RevisionField());
}

TEST(Loader, FullRegionRecordErasesOnlyTheRegionsBlocks) {
    LoaderBench loader;
    Bytes record = Record(0x10000, "03  ", FPGA1); // 0x10006 bytes for a one-block region
    std::vector<std::string> events = Transfer(loader.vi).Run(record, FPGA1, 1024);
    EXPECT_EQ((std::vector<std::string>{"flash:ERAS:3", "flash:PROG:3", "flash:RTNOK", "flash:OK"}),
              std::vector<std::string>(events.end() - 4, events.end()));

    Bytes tooLong = Record(0x10001, "03  ", FPGA1);
    events = Transfer(loader.vi).Run(tooLong, FPGA1, 1024);
    EXPECT_EQ("flash:ERASE NG", events.back());
}

TEST(Loader, DataMayArriveInAnyPiecesAndTheOkComesOnlyAtTheEnd) {
    LoaderBench loader;
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(10, 7)));
    ASSERT_EQ("OK", Receive(loader.vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(12, 7 + 10)));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(VI_ERROR_TMO, Receive(loader.vi).status);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0, 0xFF}));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0xFF}));
    EXPECT_EQ("OK", Receive(loader.vi).text);

    // Told 13 bytes: the words at 8 and 12, summed from what arrived (FF FF) and zeros.
    Bytes field = {'1', '3', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(7, 19)));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, field));
    EXPECT_EQ("OK", Receive(loader.vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(8, 7)));
    EXPECT_EQ("-65536", Receive(loader.vi).text); // FF FF 00 00, as a signed number
}

TEST(Loader, AnswersItsIdentityAndIgnoresOtherText) {
    LoaderBench loader;
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, "DISP:TEXT \"x\"\n"));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, "*IDN?\n"));
    EXPECT_EQ("WRITER,TQ4800,TW00012345,1.05  A  01 01 01 1.05", Receive(loader.vi).text);
    EXPECT_EQ(VI_ERROR_TMO, Receive(loader.vi).status);
}

TEST(Loader, ChecksumIsSignedUnlessTheFaultPrintsItUnsigned) {
    for (bool unsignedFault : {false, true}) {
        std::vector<sim::Fault> faults;
        if (unsignedFault)
            faults.push_back({sim::FaultKind::ChecksumUnsigned, sim::ANY_COMMAND, 0, "", 0});
        LoaderBench loader(faults);
        Bytes record = Record(10, "01  ", FPGA1);
        PutBigEndian(record, 8, 0x80000000); // the only word summed for a length of 10
        Transfer transfer(loader.vi);
        std::vector<std::string> events = transfer.Run(record, FPGA1, 1024);
        ASSERT_GE(events.size(), 6u);
        EXPECT_EQ(unsignedFault ? "sum:2147483648" : "sum:-2147483648", events[5]);
    }
}

struct FaultCase {
    const char* label;
    sim::Fault fault;
    // The outcome of the steps from the first that differs from a clean transfer.
    std::vector<std::string> tail;
    bool programmed = false;
};

void PrintTo(const FaultCase& c, std::ostream* os) {
    *os << c.label;
}

const std::string TMO = Status(VI_ERROR_TMO);
const std::string IO = Status(VI_ERROR_IO);
const std::string LOST = Status(VI_ERROR_CONN_LOST);

std::vector<FaultCase> FaultCases() {
    using K = sim::FaultKind;
    return {
        {"no_reset_reply", {K::NoReply, 10, 0, "", 0}, {"reset:" + TMO}},
        {"wrong_done_reply", {K::WrongReply, 13, 0, "NG", 0}, {"done:NG"}},
        {"type_write_fails", {K::FailWrite, 20, 0, "", 0}, {"type:" + IO}},
        {"second_chunk_fails", {K::FailWrite, sim::DATA_WRITE, 0, "", 1500}, {"data:" + IO}},
        {"erase_ng", {K::EraseNg, sim::ANY_COMMAND, 0, "", 0}, {"flash:ERASE NG"}},
        {"program_ng",
         {K::ProgramNg, sim::ANY_COMMAND, 0, "", 0},
         {"flash:ERAS:3", "flash:PROGRAM NG"}},
        {"latest",
         {K::AlreadyLatest, sim::ANY_COMMAND, 0, "", 0},
         {"flash:DATA IS THE LATEST UPDATE"}},
        {"unplugged", {K::UnplugAfterData, sim::DATA_WRITE, 0, "", 1500}, {"data:" + LOST}},
        {"other_segment_only", {K::EraseNg, sim::ANY_COMMAND, 2, "", 0}, {"flash:OK"}, true},
        // Programmed, but the loader says nothing about it.
        {"no_flash_reply", {K::NoReply, 3, 0, "", 0}, {"flash:" + TMO}, true},
    };
}

class LoaderFault : public ::testing::TestWithParam<FaultCase> {};

TEST_P(LoaderFault, ShowsOnTheWire) {
    const FaultCase& c = GetParam();
    LoaderBench loader({c.fault});
    Bytes record = Record(1994, "02  ", FPGA1);
    std::vector<std::string> events = Transfer(loader.vi).Run(record, FPGA1, 1024);
    ASSERT_GE(events.size(), c.tail.size());
    EXPECT_EQ(c.tail, std::vector<std::string>(events.end() - c.tail.size(), events.end()));
    bool programmed = c.programmed;
    EXPECT_EQ(programmed, loader.bench.Instrument().GetLoader().Flash(FPGA1) != nullptr);
    EXPECT_EQ(programmed ? "02" : "01", loader.bench.Instrument().CurrentRevisions().fpga1);
}

INSTANTIATE_TEST_SUITE_P(Faults, LoaderFault, ::testing::ValuesIn(FaultCases()),
                         [](const auto& info) { return std::string(info.param.label); });

TEST(LoaderFaults, NoReplyTimesOutAfterTheSessionsTimeOut) {
    LoaderBench loader({{sim::FaultKind::NoReply, 10, 0, "", 0}});
    Transfer(loader.vi).Run(Record(100, "02  ", FPGA1), FPGA1, 1024);
    EXPECT_EQ(std::vector<std::uint32_t>{5000}, loader.bench.clock.sleeps);
}

TEST(LoaderFaults, CorruptedByteReachesFlashAndChecksum) {
    LoaderBench loader({{sim::FaultKind::CorruptByte, sim::DATA_WRITE, 0, "", 20}});
    Bytes record = Record(1994, "02  ", FPGA1);
    std::vector<std::string> events = Transfer(loader.vi).Run(record, FPGA1, 1024);
    EXPECT_NE("sum:" + Expected(WordSum(record, 1994)), events.at(5));
    const Bytes* flash = loader.bench.Instrument().GetLoader().Flash(FPGA1);
    ASSERT_NE(nullptr, flash);
    EXPECT_NE(record[20], flash->at(20));
    EXPECT_EQ(Bytes(record.begin() + 21, record.end()), Bytes(flash->begin() + 21, flash->end()));
}

TEST(LoaderFaults, UnpluggedInstrumentLeavesTheBus) {
    LoaderBench loader({{sim::FaultKind::UnplugAfterData, sim::DATA_WRITE, 0, "", 100}});
    Transfer(loader.vi).Run(Record(1994, "02  ", FPGA1), FPGA1, 1024);
    EXPECT_TRUE(loader.bench.bench->PresentNames().empty());
    EXPECT_EQ(100u, loader.bench.Instrument().GetLoader().Received().size());
}

} // namespace
