#include "link/LoaderFrames.h"
#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");

struct LoaderBench {
    LoaderBench() : bench(sim::BenchConfig{{Instrument("TW00012345", sim::Mode::Loader)}}) {
        vi = OpenSession(OpenDefaultRM(), NAME);
        visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000);
    }

    SimulatedBench bench;
    ViSession vi = 0;
};

TEST(Loader, DataMayArriveInAnyPiecesAndTheOkComesOnlyAtTheEnd) {
    LoaderBench loader;
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, ResetFrame()));
    ASSERT_EQ("OK", Receive(loader.vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(7 + 10, 12)));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0, 0, 0, 0, 0, 0, 0}));
    EXPECT_EQ(VI_ERROR_TMO, Receive(loader.vi).status);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0, 0xFF}));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Bytes{0xFF}));
    EXPECT_EQ("OK", Receive(loader.vi).text);

    // Told 13 bytes: the words at 8 and 12, summed from what arrived (FF FF) and zeros.
    Bytes field = {'1', '3', 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(19, 7)));
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, field));
    EXPECT_EQ("OK", Receive(loader.vi).text);
    ASSERT_EQ(VI_SUCCESS, Send(loader.vi, Frame(7, 8)));
    EXPECT_EQ("-65536", Receive(loader.vi).text); // FF FF 00 00, as a signed number
}

} // namespace
