#pragma once

#include <cstdint>

// The instrument's 4 MiB flash: 71 blocks in 17 named regions. A segment's type id is the
// first block of its region.
inline constexpr int BLOCK_COUNT = 71;
inline constexpr int SEGMENT_KIND_COUNT = 17;

struct SegmentKind {
    std::int32_t id;
    std::uint8_t firstBlock;
    std::uint8_t lastBlock;
    std::uint32_t maxSize;
    std::int32_t regionFlag;
    char name[256];
};

extern const std::uint32_t BlockSizeTable[BLOCK_COUNT];
extern const SegmentKind SegmentCatalogue[SEGMENT_KIND_COUNT];

// Rows of the catalogue by name, for readers that need one region.
enum SegmentRow : int {
    ROW_BOOT = 0,
    ROW_WRITER = 1,
    ROW_FPGA1 = 2,
    ROW_FPGA2 = 3,
    ROW_FPGA3 = 4,
    ROW_HTTP = 5,
    ROW_MAIN = 6,
};

// The catalogue row of each position of a firmware revision file, in file order.
inline constexpr SegmentRow FILE_SEGMENT_ROWS[5] = {ROW_FPGA1, ROW_FPGA2, ROW_FPGA3, ROW_MAIN,
                                                    ROW_HTTP};

// The catalogue row of a position (0 to 4) of a firmware revision file.
inline const SegmentKind& FileSegmentKind(int position) {
    return SegmentCatalogue[FILE_SEGMENT_ROWS[position]];
}
