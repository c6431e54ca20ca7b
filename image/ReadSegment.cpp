#include "image/ReadSegment.h"

#include "image/BigEndian.h"
#include "image/SegmentRecordLayout.h"

#include <algorithm>
#include <new>

namespace {
// Reads the fixed words. Bytes the stream does not have stay zero, as the record is then
// cut short and fails below unless L is small enough for what is there.
void ReadFixedWords(ImageStream& stream, SegmentImage& segment) {
    std::uint8_t fixed[RECORD_FIXED_SIZE] = {};
    stream.Read(fixed, sizeof fixed);
    segment.word0 = ReadBigEndian32(fixed + RECORD_WORD0);
    segment.word1 = ReadBigEndian32(fixed + RECORD_WORD1);
    segment.length = ReadBigEndian32(fixed + RECORD_LENGTH);
    std::copy_n(fixed + RECORD_REVISION, RECORD_REVISION_SIZE, segment.revision);
    segment.revision[RECORD_REVISION_SIZE] = '\0';
    segment.word4 = ReadBigEndian32(fixed + RECORD_WORD4);
}

bool ReadTypeAndFlag(ImageStream& stream, std::uint64_t position, SegmentImage& segment) {
    if (!stream.Seek(position + RecordTypeOffset(segment.length)))
        return false;
    std::uint8_t trailer[2] = {};
    stream.Read(trailer, sizeof trailer);
    segment.type = trailer[0];
    segment.flag = trailer[1];
    return true;
}

bool AllocateBuffer(std::vector<std::uint8_t>& data, std::uint32_t capacity) {
    try {
        data.assign(capacity, 0);
        return true;
    } catch (const std::bad_alloc&) {
        std::vector<std::uint8_t>().swap(data);
        return false;
    }
}
} // namespace

SegmentReadResult ReadSegment(ImageStream& stream, std::uint64_t position, std::uint32_t capacity,
                              SegmentImage& segment) {
    if (!stream.Seek(position))
        return SegmentReadResult::SeekFailed;
    ReadFixedWords(stream, segment);
    if (capacity < RECORD_OVERHEAD || segment.length > capacity - RECORD_OVERHEAD)
        return SegmentReadResult::DoesNotFit;
    if (!ReadTypeAndFlag(stream, position, segment) || !stream.Seek(position))
        return SegmentReadResult::SeekFailed;
    if (!AllocateBuffer(segment.data, capacity))
        return SegmentReadResult::NoMemory;
    const std::uint32_t recordSize = segment.length + RECORD_OVERHEAD;
    segment.byteCount = static_cast<std::uint32_t>(stream.Read(segment.data.data(), recordSize));
    return segment.byteCount == recordSize ? SegmentReadResult::Read : SegmentReadResult::CutShort;
}
