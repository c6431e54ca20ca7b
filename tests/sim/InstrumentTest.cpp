// The simulated instrument on its wire: its normal firmware's commands and its loader's
// frames.

#include "link/LoaderFrames.h"
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

TEST(Loader, DataMayArriveInAnyPiecesAndTheOkComesOnlyAtTheEnd) {
    SimulatedBench bench(sim::BenchConfig{{Instrument(SERIAL, sim::Mode::Loader)}});
    ViSession vi = OpenSession(OpenDefaultRM(), NAME);
    ASSERT_EQ(VI_SUCCESS, Send(vi, ResetFrame()));
    ASSERT_EQ("OK", Receive(vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(vi, Frame(7 + 10, 12)));
    ASSERT_EQ(VI_SUCCESS, Send(vi, Bytes{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status);
    ASSERT_EQ(VI_SUCCESS, Send(vi, Bytes{0, 0xFF}));
    ASSERT_EQ(VI_SUCCESS, Send(vi, Bytes{0xFF}));
    EXPECT_EQ("OK", Receive(vi).text);

    ASSERT_EQ(VI_SUCCESS, Send(vi, Frame(19, 7))); // digits and NULs, then something else
    ASSERT_EQ(VI_SUCCESS, Send(vi, LengthField({"13\0x", 4})));
    EXPECT_EQ("NG", Receive(vi).text);
    // Told 13 bytes: the words at 8 and 12, summed from what arrived (FF FF) and zeros.
    ASSERT_EQ(VI_SUCCESS, Send(vi, Frame(19, 7)));
    ASSERT_EQ(VI_SUCCESS, Send(vi, LengthField("13")));
    EXPECT_EQ("OK", Receive(vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(vi, Frame(7, 8)));
    EXPECT_EQ("-65536", Receive(vi).text); // FF FF 00 00, as a signed number
}

} // namespace
