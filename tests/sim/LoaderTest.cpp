#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");

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

struct LoaderBench {
    LoaderBench() : bench(sim::BenchConfig{{SimInstrument("TW00012345", sim::Mode::Loader)}}) {
        vi = OpenSession(OpenDefaultRM(), NAME);
        visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000);
    }

    SimulatedBench bench;
    ViSession vi = 0;
};

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

} // namespace
