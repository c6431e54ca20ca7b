#include "image/ValidateImage.h"

#include "image/FormatText.h"
#include "image/SegmentCatalogue.h"
#include "image/SegmentRecordLayout.h"
#include "image/UpperCase.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

namespace {
// A field's text up to its terminator, never beyond the field.
std::string_view FieldText(std::span<const char> field) {
    return {field.data(), ::strnlen(field.data(), field.size())};
}

bool BeginsWithNonBlank(std::span<const char> field) {
    return static_cast<signed char>(field[0]) >= 0x20;
}

// The byte-wise text comparison of the standard library: unsigned bytes, and a text that
// ends first is the smaller.
int CompareText(std::string_view left, std::string_view right) {
    const auto mismatch = std::mismatch(left.begin(), left.end(), right.begin(), right.end());
    if (mismatch.first == left.end())
        return mismatch.second == right.end() ? 0 : -1;
    if (mismatch.second == right.end())
        return 1;
    return static_cast<unsigned char>(*mismatch.first) <
                   static_cast<unsigned char>(*mismatch.second)
               ? -1
               : 1;
}

std::string UpperCasedUtilityVersion() {
    std::string version(UTILITY_VERSION, std::min<std::size_t>(std::strlen(UTILITY_VERSION), 15));
    UpperCaseLetters(version);
    return version;
}

StatusCode CheckHeader(const ImageInfo& image, ImageProblem* problem) {
    if (!BeginsWithNonBlank(image.ImageRev))
        return NoteProblem(problem, ImageProblem::HEADER, "no ImageRev", STATUS_FILE_CORRUPT);
    const std::string_view model = FieldText(image.ModelName);
    if (model != MODEL_NAME) {
        return NoteProblem(problem, ImageProblem::HEADER,
                           FormatText("ModelName \"%.*s\" is not \"%s\"",
                                      static_cast<int>(model.size()), model.data(), MODEL_NAME),
                           STATUS_FILE_CORRUPT);
    }
    if (!BeginsWithNonBlank(image.UtilityRev))
        return NoteProblem(problem, ImageProblem::HEADER, "no UtilityRev", STATUS_FILE_CORRUPT);
    return STATUS_COMPLETE;
}

StatusCode CheckTypesAndFlags(const ImageInfo& image, ImageProblem* problem) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        const SegmentKind& kind = FileSegmentKind(position);
        if (segment.type != kind.firstBlock || segment.flag == 0) {
            return NoteProblem(problem, position,
                               FormatText("type %u and flag %u; a %s segment needs type %u and a "
                                          "non-zero flag",
                                          segment.type, segment.flag, kind.name, kind.firstBlock),
                               STATUS_FILE_CORRUPT);
        }
    }
    return STATUS_COMPLETE;
}

StatusCode CheckSizes(const ImageInfo& image, ImageProblem* problem) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        const SegmentKind& kind = FileSegmentKind(position);
        if (segment.byteCount > kind.maxSize) {
            return NoteProblem(problem, position,
                               FormatText("%u bytes exceed the %s region's 0x%X", segment.byteCount,
                                          kind.name, kind.maxSize),
                               STATUS_FILE_CORRUPT);
        }
    }
    return STATUS_COMPLETE;
}

StatusCode CheckUtilityVersion(const ImageInfo& image, ImageProblem* problem) {
    const std::string_view required = FieldText(image.UtilityRev);
    if (CompareText(required, UpperCasedUtilityVersion()) > 0) {
        return NoteProblem(problem, ImageProblem::HEADER,
                           FormatText("the file needs utility %.*s; this is %s",
                                      static_cast<int>(required.size()), required.data(),
                                      UTILITY_VERSION),
                           STATUS_UTILITY_TOO_OLD);
    }
    return STATUS_COMPLETE;
}

// A length below 8 leaves no range for the checksum, which starts at byte 8 of the record:
// the transfer would sum bytes before its data.
StatusCode CheckChecksumRanges(const ImageInfo& image, ImageProblem* problem) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        if (segment.length < RECORD_CHECKSUM_START) {
            return NoteProblem(problem, position,
                               FormatText("L = %u is below %u: no checksum range", segment.length,
                                          RECORD_CHECKSUM_START),
                               STATUS_FILE_CORRUPT);
        }
    }
    return STATUS_COMPLETE;
}
} // namespace

StatusCode ValidateImage(const ImageInfo& image) {
    return ValidateImage(image, nullptr);
}

StatusCode ValidateImage(const ImageInfo& image, ImageProblem* problem) {
    using Check = StatusCode (*)(const ImageInfo&, ImageProblem*);
    static constexpr Check checks[] = {CheckHeader, CheckTypesAndFlags, CheckSizes,
                                       CheckUtilityVersion, CheckChecksumRanges};
    for (Check check : checks) {
        if (const StatusCode code = check(image, problem); code != STATUS_COMPLETE)
            return code;
    }
    return STATUS_COMPLETE;
}
