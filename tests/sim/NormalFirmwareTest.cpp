#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");

// The reboot into the loader, and what it does to the sessions, is followed on the wire by
// the instrument session's transcript test.
TEST(NormalFirmware, ShowsDisplayTextAndSwitchesOnlyForItsOwnModel) {
    SimulatedBench bench;
    ViSession vi = OpenSession(OpenDefaultRM(), NAME);
    ASSERT_EQ(VI_SUCCESS, Send(vi, "DISP:TEXT \"" + NAME + "\"\n"));
    EXPECT_EQ(NAME, bench.Device().DisplayText());
    ASSERT_EQ(VI_SUCCESS, Send(vi, "disp:text:clear\n"));
    EXPECT_EQ("", bench.Device().DisplayText());
    ASSERT_EQ(VI_SUCCESS, Send(vi, "SYST:ERR?\n"));
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status); // unknown commands are not answered
    ASSERT_EQ(VI_SUCCESS, Send(vi, "syst:update TQ9999\n"));
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status);
}

} // namespace
