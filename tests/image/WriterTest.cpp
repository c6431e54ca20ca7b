#include "ImageTestFiles.h"
#include "image/Checksum.h"
#include "image/SegmentCatalogue.h"

#include <functional>
#include <gtest/gtest.h>

namespace {
TEST(ImageWriter, LargestRecordsAndExplicitWordsRoundTrip) {
    ImageContents contents = AcceptedContents();
    contents.header = {"123456789012345", std::string(63, 'M'), "RNS", std::string(511, 'd'),
                       "0.1"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SegmentRecord& record = contents.segments[position];
        record.payload.resize(FileSegmentKind(position).maxSize - 22);
        for (std::size_t index = 0; index < record.payload.size(); ++index)
            record.payload[index] = static_cast<std::uint8_t>(index * 7 + position);
        record.word1 = 0xDEADBEEF;
        record.flag = 0x80;
        record.revision = "A";
    }
    EXPECT_EQ(FindWriteProblem(contents), "");
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(contents), image), 0);
    EXPECT_STREQ(image.ImageRev, contents.header.imageRev.c_str());
    EXPECT_STREQ(image.ModelName, contents.header.modelName.c_str());
    EXPECT_STREQ(image.RevsNotSupport, contents.header.revsNotSupport.c_str());
    EXPECT_STREQ(image.UpdatedDescription, contents.header.updatedDescription.c_str());
    EXPECT_STREQ(image.UtilityRev, contents.header.utilityRev.c_str());
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SCOPED_TRACE(position);
        const SegmentRecord& record = contents.segments[position];
        const SegmentImage& segment = image.segments[position];
        const std::vector<std::uint8_t> encoded = EncodeSegmentRecord(record, position);
        EXPECT_EQ(segment.word0, record.word0);
        EXPECT_EQ(segment.word1, record.word1.value_or(segment.length));
        EXPECT_EQ(segment.length, RecordLength(record));
        EXPECT_STREQ(segment.revision, record.revision.c_str());
        EXPECT_EQ(segment.word4, record.word4);
        EXPECT_EQ(segment.type, record.type.value_or(FileSegmentKind(position).firstBlock));
        EXPECT_EQ(segment.flag, record.flag);
        ASSERT_EQ(segment.byteCount, encoded.size());
        EXPECT_TRUE(std::equal(encoded.begin(), encoded.end(), segment.data.begin()));
    }
}

// Contents the loader would not give back as written are refused, naming the field.
TEST(ImageWriter, ProblemsNameWhatWouldNotLoadBack) {
    const std::pair<std::function<void(ImageContents&)>, const char*> cases[] = {
        {[](ImageContents& c) { c.header.imageRev = std::string(16, '1'); }, "ImageRev"},
        {[](ImageContents& c) { c.header.updatedDescription = "a=b"; }, "UpdatedDescription"},
        {[](ImageContents& c) { c.header.modelName = "A\nB"; }, "ModelName"},
        {[](ImageContents& c) { c.header.utilityRev = "1.0 "; }, "UtilityRev"},
        {[](ImageContents& c) { c.segments[1].revision = "12345"; }, "FPGA2"},
        {[](ImageContents& c) { c.segments[3].payload.resize(0xFFFEB); }, "MAIN"},
    };
    for (const auto& [change, mentions] : cases) {
        ImageContents contents = AcceptedContents();
        change(contents);
        const std::string problem = FindWriteProblem(contents);
        EXPECT_NE(problem.find(mentions), std::string::npos) << problem;
    }
}

TEST(SegmentChecksum, RefusesRangesOutsideTheBuffer) {
    SegmentImage segment;
    segment.data.assign(16, 1);
    std::uint32_t sum = 0;
    for (std::uint32_t length : {0u, 7u, 17u, 0xFFFFFFFFu}) {
        segment.length = length;
        EXPECT_FALSE(SegmentChecksum(segment, sum)) << length;
    }
    segment.length = 8;
    EXPECT_TRUE(SegmentChecksum(segment, sum));
    EXPECT_EQ(sum, 0u);
}
} // namespace
