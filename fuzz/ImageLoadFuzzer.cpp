// Any bytes as a firmware revision file: loading and checking must never read outside a
// buffer, leak or crash, and must end in one of the codes the window knows.

#include "image/Checksum.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <cstdlib>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    MemoryImageStream stream({data, size});
    ImageInfo image;
    const StatusCode loaded = LoadImageFile(stream, image);
    if (loaded != STATUS_COMPLETE && loaded != STATUS_FILE_CORRUPT &&
        loaded != STATUS_FILE_VALUE_TOO_LONG)
        std::abort();
    if (loaded != STATUS_COMPLETE)
        return 0;
    const StatusCode checked = ValidateImage(image);
    if (checked != STATUS_COMPLETE && checked != STATUS_FILE_CORRUPT &&
        checked != STATUS_UTILITY_TOO_OLD)
        std::abort();
    if (checked != STATUS_COMPLETE)
        return 0;
    // What the transfer relies on after acceptance: the checksum range and the bytes it
    // sends lie inside each buffer.
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        std::uint32_t sum = 0;
        if (!SegmentChecksum(segment, sum) || segment.byteCount > segment.data.size() ||
            segment.type != FileSegmentKind(position).firstBlock)
            std::abort();
    }
    return 0;
}
