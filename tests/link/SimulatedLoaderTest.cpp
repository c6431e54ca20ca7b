// The loader steps and the segment transfer against the simulated instrument, checked on
// its wire transcript.

#include "TestSegments.h"
#include "link/InstrumentSession.h"
#include "link/SegmentTransfer.h"
#include "sim/BenchFixture.h"
#include "sim/Transcript.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

constexpr std::uint32_t LINE_MS = 25;

std::string HexOf(const std::vector<std::uint8_t>& bytes, std::size_t first, std::size_t count) {
    return sim::HexBytes(bytes.data() + first, static_cast<std::uint32_t>(count));
}

sim::BenchConfig LoaderBench(std::vector<sim::Fault> faults = {}) {
    sim::InstrumentConfig instrument = Instrument(SERIAL, sim::Mode::Loader, std::move(faults));
    instrument.flashLineMs = LINE_MS;
    return sim::BenchConfig{{instrument}};
}

// A session open to a simulated instrument in loader mode; the utility sleeps on the same
// fake clock the instrument keeps its time by.
class OnSimulatedLoader {
public:
    explicit OnSimulatedLoader(const sim::BenchConfig& config = LoaderBench())
        : bench(config), session(devices), transfer(session, bench.clock, log, progress, pump) {
        session.OpenResourceManager();
        devices.AddString(sim::ResourceNameOf(SERIAL));
        devices.selected = 0;
        EXPECT_EQ(session.ConnectDevice(), STATUS_COMPLETE);
        connected = bench.Trace().size();
    }
    ~OnSimulatedLoader() {
        session.DisconnectDevice();
        session.CloseResourceManager();
    }

    // The wire since the session was opened.
    Lines Wire() const { return Lines(bench.Trace().begin() + connected, bench.Trace().end()); }
    Lines Writes() const {
        Lines writes;
        for (const std::string& line : Wire())
            if (line.starts_with("write "))
                writes.push_back(line.substr(8));
        return writes;
    }

    SimulatedBench bench;
    FakeDeviceList devices;
    InstrumentSession session;
    RecordingLog log;
    RecordingProgress progress;
    CountingPump pump;
    SegmentTransfer transfer;
    std::size_t connected = 0;
};

class SimulatedLoaderTest : public ::testing::Test, public OnSimulatedLoader {};

// The data chunks of a transfer on the wire: every write between the load frame and the
// load-done frame.
Lines DataWrites(const Lines& writes) {
    const auto load = std::find_if(writes.begin(), writes.end(), [](const std::string& w) {
        return w.starts_with("AB") && w.size() == 24 && w.substr(10, 2) == "0C";
    });
    const auto done = std::find(load, writes.end(), "AB000000070D010203040506");
    return load == writes.end() ? Lines{} : Lines(load + 1, done);
}

struct ChunkCase {
    std::uint32_t sendCount;
    const char* loadFrame;
    int rangeUpper;
};

class ChunkingTest : public SimulatedLoaderTest, public ::testing::WithParamInterface<ChunkCase> {};

TEST_P(ChunkingTest, WholeRecordFromByteZeroInWritesOfAtMost1024) {
    const ChunkCase& c = GetParam();
    const SegmentImage segment = MakeSegment(c.sendCount - 6);

    EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_COMPLETE);
    const Lines writes = Writes();
    EXPECT_EQ(std::count(writes.begin(), writes.end(), c.loadFrame), 1);
    const Lines data = DataWrites(writes);
    ASSERT_EQ(data.size(), (c.sendCount + 1023) / 1024);
    for (std::size_t i = 0; i < data.size(); ++i)
        EXPECT_EQ(data[i], HexOf(segment.data, i * 1024,
                                 std::min<std::size_t>(1024, c.sendCount - i * 1024)));
    EXPECT_EQ(progress.high, c.rangeUpper);
    EXPECT_EQ(progress.steps, c.rangeUpper);
}

INSTANTIATE_TEST_SUITE_P(Sizes, ChunkingTest,
                         ::testing::Values(ChunkCase{65536, "AB000100070C010203040506", 4},
                                           ChunkCase{65542, "AB0001000D0C010203040506", 7}));

TEST_F(SimulatedLoaderTest, NothingToStreamAnnouncesSevenAndFinishesAtOnce) {
    SegmentImage segment = MakeSegment(8);
    segment.byteCount = 0;

    EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_COMPLETE);
    const Lines writes = Writes();
    ASSERT_GE(writes.size(), 3u);
    EXPECT_EQ(writes[1], "AB000000070C010203040506");
    EXPECT_EQ(writes[2], "AB000000070D010203040506");
    EXPECT_EQ(progress.high, 1);
}

// The progress steps and pumps come after each block's data; a 10 ms pause follows each of
// the 7 frames and 98 data chunks, none the type byte and the length field.
TEST_F(SimulatedLoaderTest, WholeSegmentProgrammedIntoFlash) {
    const SegmentImage segment = MakeSegment(100000);
    std::vector<std::size_t> writesAtPump;
    pump.onPump = [&] { writesAtPump.push_back(Writes().size()); };

    EXPECT_EQ(transfer.UpdateSegment(segment), STATUS_COMPLETE);
    const std::vector<std::uint8_t>* flash = bench.Device().GetLoader().Flash(14);
    ASSERT_NE(flash, nullptr);
    EXPECT_EQ(*flash, std::vector<std::uint8_t>(segment.data.begin(),
                                                segment.data.begin() + segment.byteCount));
    EXPECT_EQ(bench.Device().RevisionField(), "2.00  A  01 01 01 1.05");
    // Two data blocks, two erase lines, two program lines and RTNOK: 3k + 1 with k = 2.
    ASSERT_EQ(writesAtPump.size(), 7u);
    EXPECT_EQ(writesAtPump[0], 2u + 64);
    EXPECT_EQ(writesAtPump[1], 2u + 98);
    // Each of the six flash lines came only after its delay.
    EXPECT_EQ(std::count(bench.clock.sleeps.begin(), bench.clock.sleeps.end(), LINE_MS), 6);
    EXPECT_EQ(std::count(bench.clock.sleeps.begin(), bench.clock.sleeps.end(), 10u), 7 + 98);
    EXPECT_TRUE(log.text().starts_with("    Loading ... OK\r\n    Check Sum "));
    EXPECT_TRUE(log.text().ends_with(" ... OK\r\n    Write to flash ... OK\r\n"));
    EXPECT_EQ(Wire().back(), "read 1 4F4B");
}

TEST(SimulatedLoaderFaultTest, CorruptedByteIsCaughtByTheChecksumAndNothingIsProgrammed) {
    OnSimulatedLoader on(
        LoaderBench({{sim::FaultKind::CorruptByte, sim::DATA_WRITE, 0, "", 40000}}));
    const SegmentImage segment = MakeSegment(70000);

    EXPECT_EQ(on.transfer.UpdateSegment(segment), STATUS_CHECKSUM_MISMATCH);
    EXPECT_TRUE(on.log.text().ends_with("Check Sum Error"));
    const Lines writes = on.Writes();
    EXPECT_EQ(std::count(writes.begin(), writes.end(), "AB0000000703010203040506"), 0);
    EXPECT_TRUE(on.Wire().back().starts_with("read 1 ")) << "the checksum reply ends it";
}

} // namespace
