#include "image/ImageInfo.h"
#include "image/SegmentCatalogue.h"

#include <gtest/gtest.h>
#include <set>
#include <string>

TEST(SegmentCatalogue, RegionsAreContiguousFromBlockZeroAndSizedByTheirBlocks) {
    int nextBlock = 0;
    std::set<int> firstBlocks;
    for (int row = 0; row < SEGMENT_KIND_COUNT; ++row) {
        const SegmentKind& kind = SegmentCatalogue[row];
        SCOPED_TRACE(kind.name);
        EXPECT_EQ(kind.id, row);
        EXPECT_EQ(kind.firstBlock, nextBlock);
        ASSERT_GE(kind.lastBlock, kind.firstBlock);
        ASSERT_LT(kind.lastBlock, BLOCK_COUNT);
        std::uint32_t sum = 0;
        for (int block = kind.firstBlock; block <= kind.lastBlock; ++block)
            sum += BlockSizeTable[block];
        EXPECT_EQ(kind.maxSize, sum);
        EXPECT_EQ(kind.regionFlag, row <= 4 ? 1 : 0);
        EXPECT_TRUE(firstBlocks.insert(kind.firstBlock).second);
        nextBlock = kind.lastBlock + 1;
    }
    EXPECT_EQ(nextBlock, 69); // blocks 69 and 70 belong to no region
}

TEST(SegmentCatalogue, FileSegmentsHaveTheirTypeIdsAndSizes) {
    struct Expected {
        std::string name;
        unsigned type;
        std::uint32_t maxSize;
    };
    const Expected expected[SEGMENT_COUNT] = {{"FPGA1", 3, 0x10000},
                                              {"FPGA2", 4, 0x20000},
                                              {"FPGA3", 6, 0x20000},
                                              {"MAIN", 14, 0x100000},
                                              {"HTTP", 8, 0x60000}};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentKind& kind = FileSegmentKind(position);
        EXPECT_EQ(kind.name, expected[position].name);
        EXPECT_EQ(kind.firstBlock, expected[position].type);
        EXPECT_EQ(kind.maxSize, expected[position].maxSize);
        EXPECT_EQ(BlockSizeTable[kind.firstBlock], 0x10000u);
    }
    EXPECT_STREQ(SegmentCatalogue[ROW_WRITER].name, "WRITER");
    EXPECT_EQ(SegmentCatalogue[ROW_WRITER].firstBlock, 1);
}
