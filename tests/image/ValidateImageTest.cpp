#include "image/ValidateImage.h"

#include "ImageTestFiles.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace {
void SetPayloadForLength(ImageContents& contents, int position, std::uint32_t length) {
    contents.segments[position].payload.assign(length - 16, 0xEE);
}

// The checks run in order: model, types and flags, sizes, then the utility's version; the
// problem names the segment of a refused record.
TEST(ValidateImage, FilesAreDecidedAsTheChecksSayInTheirOrder) {
    const struct {
        const char* label;
        std::function<void(ImageContents&)> change;
        StatusCode status;
        int segment = -1;
    } cases[] = {
        {"accepted", [](ImageContents&) {}, 0},
        {"no ImageRev", [](ImageContents& c) { c.header.imageRev = ""; }, 19},
        {"no UtilityRev", [](ImageContents& c) { c.header.utilityRev = ""; }, 19},
        {"lower-case model", [](ImageContents& c) { c.header.modelName = "tq4800"; }, 0},
        {"longer model", [](ImageContents& c) { c.header.modelName = "TQ4800X"; }, 19},
        {"newer utility", [](ImageContents& c) { c.header.utilityRev = "1.0.1"; }, 21},
        {"suffixed utility", [](ImageContents& c) { c.header.utilityRev = "1.0.0a"; }, 21},
        {"shorter prefix 1.0", [](ImageContents& c) { c.header.utilityRev = "1.0"; }, 0},
        {"shorter but greater 1.1", [](ImageContents& c) { c.header.utilityRev = "1.1"; }, 21},
        {"high byte above digits", [](ImageContents& c) { c.header.utilityRev = "1.\2600"; }, 21},
        {"model before version",
         [](ImageContents& c) { c.header.modelName = "TQ4801", c.header.utilityRev = "2.0"; }, 19},
        {"size before version",
         [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFB), c.header.utilityRev = "2.0"; },
         19},
        {"types and flags before sizes",
         [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFB), c.segments[4].flag = 0; }, 19,
         4},
        {"MAIN and HTTP swapped",
         [](ImageContents& c) {
             std::swap(c.segments[3], c.segments[4]);
             c.segments[3].type = 8;
             c.segments[4].type = 14;
         },
         19},
        {"flag 0", [](ImageContents& c) { c.segments[2].flag = 0; }, 19, 2},
        {"type of another region", [](ImageContents& c) { c.segments[0].type = 4; }, 19, 0},
        {"FPGA1 at its largest", [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFA); }, 0},
        {"FPGA1 one byte over", [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFB); }, 19, 0},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        ImageInfo image;
        ASSERT_EQ(LoadBytes(Changed(c.change), image), 0);
        ImageProblem problem;
        EXPECT_EQ(ValidateImage(image, &problem), c.status);
        if (c.segment >= 0) {
            EXPECT_EQ(problem.segment, c.segment);
        }
    }
}

// A length below 8 leaves no range for the checksum, which is refused after the other checks.
TEST(ValidateImage, LengthsBelow8AreRejectedAfterTheOtherChecks) {
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(AcceptedContents()), image), 0);
    const std::tuple<std::uint32_t, const char*, StatusCode> cases[] = {
        {7, "1.0.0", 19}, {8, "1.0.0", 0}, {7, "1.1", 21}};
    for (const auto& [length, utilityRev, status] : cases) {
        image.segments[4].length = length;
        std::strcpy(image.UtilityRev, utilityRev);
        EXPECT_EQ(ValidateImage(image), status) << length << " " << utilityRev;
    }
}

TEST(ValidateImage, UnterminatedFieldsAreReadWithinTheirSize) {
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(AcceptedContents()), image), 0);
    std::fill(std::begin(image.ModelName), std::end(image.ModelName), 'T');
    std::fill(std::begin(image.UtilityRev), std::end(image.UtilityRev), '9');
    EXPECT_EQ(ValidateImage(image), 19);
    std::strcpy(image.ModelName, "TQ4800");
    EXPECT_EQ(ValidateImage(image), 21);
}
} // namespace
