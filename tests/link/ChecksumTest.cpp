#include "link/SegmentTransfer.h"

#include <cstdint>
#include <gtest/gtest.h>

namespace {

TEST(ComputeChecksumTest, SumsBigEndianWords) {
    const std::uint8_t bytes[] = {0x01, 0x02, 0x03, 0x04};
    EXPECT_EQ(static_cast<std::int32_t>(ComputeChecksum(bytes, 4)), 16909060);
}

TEST(ComputeChecksumTest, WrapsAt32Bits) {
    const std::uint8_t bytes[] = {0xFF, 0xFF, 0xFF, 0xFF, 0x00, 0x00, 0x00, 0x02};
    EXPECT_EQ(ComputeChecksum(bytes, 8), 1u);
}

TEST(ComputeChecksumTest, PartialWordTakesInTheFollowingBufferBytes) {
    const std::uint8_t bytes[] = {0x00, 0x00, 0x00, 0x01, 0x10, 0x20, 0x30, 0x40, 0x99};
    EXPECT_EQ(ComputeChecksum(bytes, 5), 0x10203041u);
    EXPECT_EQ(ComputeChecksum(bytes, 8), 0x10203041u);
}

TEST(ComputeChecksumTest, EmptyRangeIsZeroAndReadsNothing) {
    EXPECT_EQ(ComputeChecksum(nullptr, 0), 0u);
}

} // namespace
