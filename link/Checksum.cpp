#include "link/BigEndian.h"
#include "link/SegmentTransfer.h"

// The loader sums whole words, so a count that is not a multiple of 4 takes in the bytes
// that follow it in the buffer.
std::uint32_t ComputeChecksum(const std::uint8_t* bytes, std::uint32_t count) {
    const std::uint64_t rounded = (std::uint64_t{count} + 3) / 4 * 4;
    std::uint32_t sum = 0;
    for (std::uint64_t offset = 0; offset < rounded; offset += 4)
        sum += LoadBigEndian32(bytes + offset);
    return sum;
}
