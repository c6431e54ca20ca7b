#include "ImageTestFiles.h"
#include "image/BigEndian.h"
#include "image/ReadSegment.h"
#include "image/SegmentCatalogue.h"

#include <gtest/gtest.h>
#include <tuple>

namespace {
// A file whose record at position has length word L but keeps its small payload.
std::vector<std::uint8_t> FileWithLength(int position, std::uint32_t length) {
    return Changed([&](ImageContents& c) { c.segments[position].length = length; });
}

// A record's buffer is as large as its region's record may be: 0x10006 bytes for FPGA1. A
// longer record fails before anything is allocated (its length word read); one that fits but
// is cut short is read as far as the file goes.
TEST(LoadImageFile, RecordsThatDoNotFitOrAreCutShortFail) {
    auto cutShort = WriteImageFile(AcceptedContents());
    cutShort.pop_back();
    const std::tuple<std::vector<std::uint8_t>, int, std::uint32_t, bool> cases[] = {
        // file, segment of the problem, its length word, whether its buffer is allocated
        {FileWithLength(0, 0x10001), 0, 0x10001, false},
        {FileWithLength(0, 0xFFFFFFFA), 0, 0xFFFFFFFA, false},
        {FileWithLength(0, 0x10000), 0, 0x10000, true},
        {cutShort, 4, RecordLength(AcceptedContents().segments[4]), true},
    };
    for (const auto& [file, segment, length, allocated] : cases) {
        ImageInfo image;
        ImageProblem problem;
        EXPECT_EQ(LoadBytes(file, image, &problem), 19) << length;
        EXPECT_EQ(problem.segment, segment);
        EXPECT_EQ(image.segments[segment].length, length);
        EXPECT_EQ(image.segments[segment].data.size(),
                  allocated ? FileSegmentKind(segment).maxSize + 6u : 0u)
            << length;
    }
}

TEST(LoadImageFile, ReleasesThePreviousBuffersEvenWhenTheLoadFails) {
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(AcceptedContents()), image), 0);
    ASSERT_EQ(LoadBytes(Bytes("#ModelName=" + std::string(70, 'x') + "\n"), image), 20);
    EXPECT_STREQ(image.ImageRev, "");
    for (const SegmentImage& segment : image.segments) {
        EXPECT_EQ(segment.data.capacity(), 0u);
        EXPECT_EQ(segment.length, 0u);
    }

    ASSERT_EQ(LoadBytes(WriteImageFile(AcceptedContents()), image), 0);
    ASSERT_EQ(LoadBytes(FileWithLength(2, 0x30000), image), 19);
    EXPECT_FALSE(image.segments[1].data.empty()); // what was read before the failure stays
}

// The fixed words are big-endian and the revision is terminated; for L below 16 the type and
// flag bytes lie inside the fixed words.
TEST(ReadSegment, ShortRecordsTakeTypeAndFlagFromInsideTheFixedWords) {
    const std::uint32_t lengths[] = {0, 1, 4, 10, 15};
    const std::uint8_t types[] = {0xA4, 0xA5, 0x00, 0xAE, 0xB3};
    for (int i = 0; i < 5; ++i) {
        std::vector<std::uint8_t> bytes(24);
        for (std::size_t index = 0; index < bytes.size(); ++index)
            bytes[index] = static_cast<std::uint8_t>(0xA0 + index);
        WriteBigEndian32(bytes.data() + 8, lengths[i]);
        MemoryImageStream stream(bytes);
        SegmentImage segment;
        ASSERT_EQ(ReadSegment(stream, 0, 0x10006, segment), SegmentReadResult::Read);
        EXPECT_EQ(segment.type, types[i]) << lengths[i];
        EXPECT_EQ(segment.flag, types[i] == 0 ? 0 : types[i] + 1) << lengths[i];
        EXPECT_EQ(stream.Tell(), lengths[i] + 6);
        EXPECT_EQ(segment.word0, 0xA0A1A2A3u);
        EXPECT_EQ(segment.word1, 0xA4A5A6A7u);
        EXPECT_STREQ(segment.revision, "\xAC\xAD\xAE\xAF");
        EXPECT_EQ(segment.word4, 0xB0B1B2B3u);
    }
}

} // namespace
