#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");

TEST(NormalFirmware, ShowsAndClearsDisplayText) {
    SimulatedBench bench;
    ViSession vi = OpenSession(OpenDefaultRM(), NAME);
    ASSERT_EQ(VI_SUCCESS, Send(vi, "DISP:TEXT \"" + NAME + "\"\n"));
    EXPECT_EQ(NAME, bench.Instrument().DisplayText());
    ASSERT_EQ(VI_SUCCESS, Send(vi, "disp:text:clear\n"));
    EXPECT_EQ("", bench.Instrument().DisplayText());
    ASSERT_EQ(VI_SUCCESS, Send(vi, "SYST:ERR?\n"));
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status); // unknown commands are not answered
}

TEST(NormalFirmware, SwitchToLoaderOnlyForItsOwnModel) {
    SimulatedBench bench;
    ViSession vi = OpenSession(OpenDefaultRM(), NAME);
    ASSERT_EQ(VI_SUCCESS, Send(vi, "syst:update TQ9999\n"));
    EXPECT_EQ(sim::Mode::Normal, bench.Instrument().CurrentMode());
    ASSERT_EQ(VI_SUCCESS, Send(vi, "syst:update TQ4800\n"));
    EXPECT_EQ(VI_ERROR_CONN_LOST, Send(vi, "*IDN?\n"));
}

TEST(NormalFirmware, RebootLeavesTheBusForItsRebootTime) {
    sim::InstrumentConfig slow = SimInstrument("TW00012345");
    slow.rebootMs = 4000;
    SimulatedBench bench(sim::BenchConfig{{slow}});
    ViSession rm = OpenDefaultRM();
    ViSession old = OpenSession(rm, NAME);
    ASSERT_EQ(VI_SUCCESS, Send(old, "syst:update TQ4800\n"));

    bench.clock.SleepMs(2500);
    ViStatus status = VI_SUCCESS;
    OpenSession(rm, NAME, &status);
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, status);
    EXPECT_EQ(sim::Mode::Normal, bench.Instrument().CurrentMode());

    bench.clock.SleepMs(1500);
    ViSession fresh = OpenSession(rm, NAME, &status);
    ASSERT_EQ(VI_SUCCESS, status);
    EXPECT_EQ(sim::Mode::Loader, bench.Instrument().CurrentMode());
    EXPECT_EQ(VI_ERROR_CONN_LOST, Receive(old).status); // back, but not for the old session
    ASSERT_EQ(VI_SUCCESS, Send(fresh, "*IDN?\n"));
    EXPECT_EQ("WRITER,TQ4800,TW00012345,1.05  A  01 01 01 1.05", Receive(fresh).text);
}

} // namespace
