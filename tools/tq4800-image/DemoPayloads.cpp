#include "DemoPayloads.h"

// FPGA1, FPGA2, FPGA3, MAIN, HTTP. The simulated instrument starts with older revisions.
const std::array<DemoSegment, SEGMENT_COUNT> DemoSegments = {{
    {8 * 1024, "02"},
    {12 * 1024, "02"},
    {12 * 1024, "02"},
    {48 * 1024, "1.10"},
    {24 * 1024, "1.10"},
}};

namespace {
// xorshift32: cheap, deterministic, and no run of equal words to hide a checksum fault.
std::uint32_t NextRandom(std::uint32_t& state) {
    state ^= state << 13;
    state ^= state >> 17;
    state ^= state << 5;
    return state;
}
} // namespace

void FillDemoSegments(ImageContents& contents) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SegmentRecord& record = contents.segments[position];
        record = SegmentRecord{};
        record.revision = DemoSegments[position].revision;
        std::uint32_t state = 0x9E3779B9u * static_cast<std::uint32_t>(position + 1);
        record.payload.resize(DemoSegments[position].payloadSize);
        for (std::uint8_t& byte : record.payload)
            byte = static_cast<std::uint8_t>(NextRandom(state) >> 24);
    }
}
