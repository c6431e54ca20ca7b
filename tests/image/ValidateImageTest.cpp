#include "image/ValidateImage.h"

#include "ImageTestFiles.h"

#include <cstring>
#include <functional>
#include <gtest/gtest.h>
#include <tuple>

namespace {
struct AcceptanceCase {
    const char* label;
    std::function<void(ImageContents&)> change;
    StatusCode status;
};

class AcceptanceCases : public testing::TestWithParam<AcceptanceCase> {};

TEST_P(AcceptanceCases, DecideAsTheChecksSay) {
    ImageContents contents = AcceptedContents();
    GetParam().change(contents);
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(contents), image), 0);
    EXPECT_EQ(ValidateImage(image), GetParam().status);
}

void SetPayloadForLength(ImageContents& contents, int position, std::uint32_t length) {
    contents.segments[position].payload.assign(length - 16, 0xEE);
}

INSTANTIATE_TEST_SUITE_P(
    Files, AcceptanceCases,
    testing::Values(
        AcceptanceCase{"accepted", [](ImageContents&) {}, 0},
        AcceptanceCase{"no ImageRev", [](ImageContents& c) { c.header.imageRev = ""; }, 19},
        AcceptanceCase{"no UtilityRev", [](ImageContents& c) { c.header.utilityRev = ""; }, 19},
        AcceptanceCase{"lower-case model", [](ImageContents& c) { c.header.modelName = "tq4800"; },
                       0},
        AcceptanceCase{"longer model", [](ImageContents& c) { c.header.modelName = "TQ4800X"; },
                       19},
        AcceptanceCase{"newer utility", [](ImageContents& c) { c.header.utilityRev = "1.0.1"; },
                       21},
        AcceptanceCase{"suffixed utility", [](ImageContents& c) { c.header.utilityRev = "1.0.0a"; },
                       21},
        AcceptanceCase{"shorter prefix 1.0", [](ImageContents& c) { c.header.utilityRev = "1.0"; },
                       0},
        AcceptanceCase{"shorter but greater 1.1",
                       [](ImageContents& c) { c.header.utilityRev = "1.1"; }, 21},
        AcceptanceCase{"high byte above digits",
                       [](ImageContents& c) {
                           c.header.utilityRev = "1.\xB0"
                                                 "0";
                       },
                       21},
        AcceptanceCase{"model before version",
                       [](ImageContents& c) {
                           c.header.modelName = "TQ4801";
                           c.header.utilityRev = "2.0";
                       },
                       19},
        AcceptanceCase{"size before version",
                       [](ImageContents& c) {
                           SetPayloadForLength(c, 0, 0xFFFB);
                           c.header.utilityRev = "2.0";
                       },
                       19},
        AcceptanceCase{"MAIN and HTTP swapped",
                       [](ImageContents& c) {
                           std::swap(c.segments[3], c.segments[4]);
                           c.segments[3].type = 8;
                           c.segments[4].type = 14;
                       },
                       19},
        AcceptanceCase{"flag 0", [](ImageContents& c) { c.segments[2].flag = 0; }, 19},
        AcceptanceCase{"type of another region", [](ImageContents& c) { c.segments[0].type = 4; },
                       19},
        AcceptanceCase{"FPGA1 at its largest",
                       [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFA); }, 0},
        AcceptanceCase{"FPGA1 one byte over",
                       [](ImageContents& c) { SetPayloadForLength(c, 0, 0xFFFB); }, 19}),
    LabelName<AcceptanceCase>);

TEST(ValidateImage, TypesAndFlagsAreCheckedBeforeSizes) {
    ImageContents contents = AcceptedContents();
    SetPayloadForLength(contents, 0, 0xFFFB);
    contents.segments[4].flag = 0;
    ImageInfo image;
    ASSERT_EQ(LoadBytes(WriteImageFile(contents), image), 0);
    ImageProblem problem;
    EXPECT_EQ(ValidateImage(image, &problem), 19);
    EXPECT_EQ(problem.segment, 4);
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
