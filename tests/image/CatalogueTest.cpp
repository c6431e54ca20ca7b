#include "image/ImageInfo.h"
#include "image/SegmentCatalogue.h"

#include <gtest/gtest.h>

TEST(SegmentCatalogue, RegionsAreContiguousFromBlockZeroAndSizedByTheirBlocks) {
    int nextBlock = 0;
    for (int row = 0; row < SEGMENT_KIND_COUNT; ++row) {
        const SegmentKind& kind = SegmentCatalogue[row];
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(kind.id, row);
        EXPECT_EQ(kind.firstBlock, nextBlock);
        ASSERT_LT(kind.lastBlock, BLOCK_COUNT);
        std::uint32_t sum = 0;
        for (int block = kind.firstBlock; block <= kind.lastBlock; ++block)
            sum += BlockSizeTable[block];
        EXPECT_EQ(kind.maxSize, sum);
        EXPECT_EQ(kind.regionFlag, row <= 4 ? 1 : 0);
        nextBlock = kind.lastBlock + 1;
    }
    EXPECT_EQ(nextBlock, 69); // blocks 69 and 70 belong to no region
}
