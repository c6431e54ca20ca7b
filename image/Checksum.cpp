#include "image/Checksum.h"

#include "image/BigEndian.h"
#include "image/ImageInfo.h"
#include "image/SegmentRecordLayout.h"

namespace {
std::uint64_t WholeWordBytes(std::uint32_t count) {
    return (std::uint64_t{count} + 3) / 4 * 4;
}
} // namespace

std::uint32_t SumWords(const std::uint8_t* bytes, std::uint32_t count) {
    const std::uint64_t end = WholeWordBytes(count);
    std::uint32_t sum = 0;
    for (std::uint64_t offset = 0; offset < end; offset += 4)
        sum += ReadBigEndian32(bytes + offset);
    return sum;
}

bool SegmentChecksum(const SegmentImage& segment, std::uint32_t& sum) {
    if (segment.length < RECORD_CHECKSUM_START)
        return false;
    const std::uint32_t count = segment.length - RECORD_CHECKSUM_START;
    if (RECORD_CHECKSUM_START + WholeWordBytes(count) > segment.data.size())
        return false;
    sum = SumWords(segment.data.data() + RECORD_CHECKSUM_START, count);
    return true;
}
