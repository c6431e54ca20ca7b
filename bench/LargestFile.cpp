#include "bench/LargestFile.h"

#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <sys/resource.h>

namespace {

constexpr std::uint32_t FRAMES_PER_SEGMENT =
    7; // reset, load, load done, type, length, sum, program
constexpr std::uint32_t CHUNK_SIZE = 1024;
constexpr std::uint32_t WAIT_AFTER_WRITE_MS = 10;
constexpr std::uint32_t WAIT_FOR_LOADER_MS = 2500;

} // namespace

ImageContents LargestFile() {
    ImageContents contents;
    contents.header = {"9.99", MODEL_NAME, "", "Largest accepted file", UTILITY_VERSION};
    const char* revisions[SEGMENT_COUNT] = {"02", "02", "02", "1.10", "1.10"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SegmentRecord& record = contents.segments[position];
        const std::uint32_t maxSize = SegmentCatalogue[FILE_SEGMENT_ROWS[position]].maxSize;
        record.revision = revisions[position];
        record.payload.resize(maxSize - 6 - 16);
        for (std::size_t i = 0; i < record.payload.size(); ++i)
            record.payload[i] = static_cast<std::uint8_t>(i * 31 + position);
    }
    return contents;
}

std::uint64_t FloorMs(const ImageInfo& image) {
    std::uint64_t writes = 0;
    for (const SegmentImage& segment : image.segments)
        writes += FRAMES_PER_SEGMENT + (segment.byteCount + CHUNK_SIZE - 1) / CHUNK_SIZE;
    return WAIT_FOR_LOADER_MS + writes * WAIT_AFTER_WRITE_MS;
}

double CpuSeconds(bool children) {
    rusage usage{};
    getrusage(children ? RUSAGE_CHILDREN : RUSAGE_SELF, &usage);
    auto seconds = [](const timeval& t) { return t.tv_sec + t.tv_usec / 1e6; };
    return seconds(usage.ru_utime) + seconds(usage.ru_stime);
}
