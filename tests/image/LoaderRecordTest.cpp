#include "ImageTestFiles.h"
#include "image/BigEndian.h"
#include "image/ReadSegment.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <gtest/gtest.h>

namespace {
// A file whose record at position has length word L but keeps its small payload.
std::vector<std::uint8_t> FileWithLength(int position, std::uint32_t length) {
    ImageContents contents = AcceptedContents();
    contents.segments[position].length = length;
    return WriteImageFile(contents);
}

// The FPGA1 buffer holds 0x10006 bytes; a longer record fails before anything is allocated.
TEST(LoadImageFile, RecordsThatDoNotFitFailWithoutOverflow) {
    for (std::uint32_t length : {0x10001u, 0xFFFFFFFFu, 0xFFFFFFFAu}) {
        ImageInfo image;
        ImageProblem problem;
        EXPECT_EQ(LoadBytes(FileWithLength(0, length), image, &problem), 19) << length;
        EXPECT_EQ(image.segments[0].length, length);
        EXPECT_EQ(problem.segment, 0);
        EXPECT_TRUE(image.segments[0].data.empty());
    }
}

TEST(LoadImageFile, RecordFillingItsBufferIsReadButRejected) {
    ImageContents contents = AcceptedContents();
    contents.segments[0].payload.assign(0x10006 - 22, 0x5A); // a record of 0x10006 bytes
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(contents), image), 0);
    EXPECT_EQ(image.segments[0].length, 0x10000u);
    EXPECT_EQ(image.segments[0].byteCount, 0x10006u);
    EXPECT_EQ(ValidateImage(image), 19);
}

TEST(LoadImageFile, RecordCutShortFails) {
    auto file = WriteImageFile(AcceptedContents());
    file.pop_back();
    ImageInfo image;
    ImageProblem problem;
    EXPECT_EQ(LoadBytes(file, image, &problem), 19);
    EXPECT_EQ(problem.segment, 4);
    EXPECT_EQ(image.segments[4].byteCount, image.segments[4].length + 5);
}

TEST(LoadImageFile, BuffersAreSizedByTheCatalogueAndZeroFilled) {
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(AcceptedContents()), image), 0);
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        ASSERT_EQ(segment.data.size(), FileSegmentKind(position).maxSize + 6u);
        for (std::size_t index = segment.byteCount; index < segment.data.size(); ++index)
            ASSERT_EQ(segment.data[index], 0) << "position " << position << " byte " << index;
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
    EXPECT_FALSE(image.segments[1].data.empty());
    for (int position = 2; position < SEGMENT_COUNT; ++position)
        EXPECT_EQ(image.segments[position].data.capacity(), 0u) << position;
}

// For L below 16 the type and flag bytes lie inside the record's fixed words.
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
    }
}

TEST(ReadSegment, FixedWordsAreBigEndianAndTheRevisionTerminated) {
    const std::vector<std::uint8_t> bytes = {1,  2,   3,   4,   5,   6, 7,  8,  0,  0, 0,
                                             16, 'A', 'B', 'C', 'D', 9, 10, 11, 12, 3, 1};
    MemoryImageStream stream(bytes);
    SegmentImage segment;
    ASSERT_EQ(ReadSegment(stream, 0, 0x10006, segment), SegmentReadResult::Read);
    EXPECT_EQ(segment.word0, 0x01020304u);
    EXPECT_EQ(segment.word1, 0x05060708u);
    EXPECT_EQ(segment.length, 16u);
    EXPECT_STREQ(segment.revision, "ABCD");
    EXPECT_EQ(segment.word4, 0x090A0B0Cu);
    EXPECT_EQ(segment.type, 3);
    EXPECT_EQ(segment.flag, 1);
}

} // namespace
