// The loader steps and the segment transfer against the simulated instrument, checked on
// its wire transcript.

#include "TestSegments.h"
#include "link/InstrumentSession.h"
#include "link/SegmentTransfer.h"
#include "sim/BenchFixture.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <string>
#include <tuple>
#include <vector>

namespace {

using Lines = std::vector<std::string>;

constexpr std::uint32_t LINE_MS = 25;

sim::InstrumentConfig LoaderInstrument() {
    sim::InstrumentConfig instrument = Instrument(SERIAL, sim::Mode::Loader);
    instrument.flashLineMs = LINE_MS;
    return instrument;
}

// A session open to a simulated instrument in loader mode; the utility sleeps on the same
// fake clock the instrument keeps its time by.
class OnSimulatedLoader {
public:
    OnSimulatedLoader() : session(devices), transfer(session, bench.clock, log, progress, pump) {
        session.OpenResourceManager();
        devices.AddString(sim::ResourceNameOf(SERIAL));
        devices.selected = 0;
        EXPECT_EQ(session.ConnectDevice(), STATUS_COMPLETE);
        connected = bench.Trace().size();
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

    SimulatedBench bench{sim::BenchConfig{{LoaderInstrument()}}};
    FakeDeviceList devices;
    InstrumentSession session;
    RecordingLog log;
    RecordingProgress progress;
    CountingPump pump;
    SegmentTransfer transfer;
    std::size_t connected = 0;
};

class SimulatedLoaderTest : public ::testing::Test, public OnSimulatedLoader {};

// Records of exactly one 64 KiB block, of just over one, and with nothing to stream: the load
// frame announces the length, the load-done frame follows the data at once, and the progress
// bar's range has a step for each block and each of its two flash lines, and one for the end
// (with nothing to stream, only the end: the flash lines step past it).
TEST(SimulatedLoaderBlocks, LoadFrameAndProgressCountTheBlocks) {
    const std::tuple<std::uint32_t, const char*, int, int> cases[] = {
        {65536, "AB000100070C010203040506", 4, 4},
        {65542, "AB0001000D0C010203040506", 7, 7},
        {0, "AB000000070C010203040506", 1, 3}};
    for (const auto& [sendCount, loadFrame, rangeUpper, steps] : cases) {
        OnSimulatedLoader on;
        SegmentImage segment = MakeSegment(std::max<std::uint32_t>(sendCount, 14) - 6);
        segment.byteCount = sendCount;
        EXPECT_EQ(on.transfer.UpdateSegment(segment), STATUS_COMPLETE);
        const Lines writes = on.Writes();
        ASSERT_GE(writes.size(), 3u);
        EXPECT_EQ(writes[1], loadFrame);
        EXPECT_EQ(writes[2] == "AB000000070D010203040506", sendCount == 0);
        EXPECT_EQ(on.progress.high, rangeUpper);
        EXPECT_EQ(on.progress.steps, steps);
    }
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
    EXPECT_EQ(Wire().back(), "read 1 4F4B");
}

} // namespace
