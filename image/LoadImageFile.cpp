#include "image/FormatText.h"
#include "image/HeaderKeys.h"
#include "image/ImageFile.h"
#include "image/ReadSegment.h"
#include "image/SegmentCatalogue.h"
#include "image/SegmentRecordLayout.h"
#include "image/TrimText.h"
#include "image/UpperCase.h"

#include <algorithm>
#include <cstring>
#include <string_view>

namespace {
enum class HeaderLine { Skipped, Stored, FileStart, ValueTooLong };

struct HeaderLineResult {
    HeaderLine kind;
    const HeaderKey* key = nullptr; // for ValueTooLong
    std::size_t valueLength = 0;
};

void ReleaseImage(ImageInfo& image) {
    for (SegmentImage& segment : image.segments)
        std::vector<std::uint8_t>().swap(segment.data);
    image = ImageInfo{};
}

// Cuts the next piece at "=" characters: leading ones are skipped and a run of them is one
// separator. False when nothing but "=" is left.
bool NextPiece(std::string_view& rest, std::string& piece) {
    const std::size_t start = rest.find_first_not_of('=');
    if (start == std::string_view::npos)
        return false;
    rest.remove_prefix(start);
    const std::size_t end = std::min(rest.find('='), rest.size());
    piece.assign(rest.substr(0, end));
    rest.remove_prefix(end);
    TrimText(piece.data());
    piece.resize(std::strlen(piece.c_str()));
    return true;
}

void StoreValue(ImageInfo& image, const HeaderKey& key, std::string value) {
    if (key.upperCased)
        UpperCaseLetters(value);
    std::span<char> field = HeaderFieldText(image, key.field);
    std::copy(value.begin(), value.end(), field.begin());
    field[value.size()] = '\0';
}

HeaderLineResult ApplyHeaderLine(std::string_view line, ImageInfo& image) {
    // The line is a C text to the loader: a NUL byte ends it.
    line = line.substr(0, line.find('\0'));
    if (line.empty() || line.front() != '#')
        return {HeaderLine::Skipped};
    std::string_view rest = line.substr(1);
    std::string keyText;
    if (!NextPiece(rest, keyText) || keyText.empty())
        return {HeaderLine::Skipped};
    if (keyText == FILE_START_KEY)
        return {HeaderLine::FileStart};
    std::string value;
    const HeaderKey* key = FindHeaderKey(keyText);
    if (!NextPiece(rest, value) || key == nullptr)
        return {HeaderLine::Skipped};
    if (value.size() > key->longestValue)
        return {HeaderLine::ValueTooLong, key, value.size()};
    StoreValue(image, *key, std::move(value));
    return {HeaderLine::Stored};
}

std::string DescribeReadFailure(SegmentReadResult result, std::uint64_t offset,
                                const SegmentImage& segment, std::uint32_t capacity) {
    const auto start = static_cast<unsigned long long>(offset);
    const auto recordSize = static_cast<unsigned long long>(segment.length) + RECORD_OVERHEAD;
    switch (result) {
    case SegmentReadResult::DoesNotFit:
        return FormatText("the record at offset %llu has L = 0x%X: its %llu bytes do not fit "
                          "the region's buffer of %u",
                          start, segment.length, recordSize, capacity);
    case SegmentReadResult::NoMemory:
        return FormatText("the record at offset %llu needs a buffer of %u bytes that cannot be "
                          "allocated",
                          start, capacity);
    case SegmentReadResult::CutShort:
        return FormatText("the record at offset %llu has L = 0x%X and needs %llu bytes; the file "
                          "holds only %u",
                          start, segment.length, recordSize, segment.byteCount);
    case SegmentReadResult::SeekFailed:
    case SegmentReadResult::Read:
        break;
    }
    return FormatText("the record at offset %llu cannot be reached", start);
}

StatusCode ReadSegments(ImageStream& stream, ImageInfo& image, ImageProblem* problem) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const std::uint64_t offset = stream.Tell();
        const std::uint32_t capacity = FileSegmentKind(position).maxSize + RECORD_OVERHEAD;
        SegmentImage& segment = image.segments[position];
        const SegmentReadResult result = ReadSegment(stream, offset, capacity, segment);
        if (result != SegmentReadResult::Read) {
            return NoteProblem(problem, position,
                               DescribeReadFailure(result, offset, segment, capacity),
                               STATUS_FILE_CORRUPT);
        }
    }
    return STATUS_COMPLETE;
}
} // namespace

StatusCode LoadImageFile(ImageStream& stream, ImageInfo& image) {
    return LoadImageFile(stream, image, nullptr);
}

StatusCode LoadImageFile(ImageStream& stream, ImageInfo& image, ImageProblem* problem) {
    ReleaseImage(image);
    std::string line;
    for (std::uint64_t lineNumber = 1;; ++lineNumber) {
        if (stream.AtEnd())
            return NoteProblem(problem, ImageProblem::HEADER,
                               "the file ends before a \"#FileStart\" line", STATUS_FILE_CORRUPT);
        stream.ReadLine(line, HEADER_LINE_LIMIT);
        const HeaderLineResult result = ApplyHeaderLine(line, image);
        switch (result.kind) {
        case HeaderLine::ValueTooLong:
            return NoteProblem(problem, ImageProblem::HEADER,
                               FormatText("header line %llu: the value of \"%.*s\" has %zu "
                                          "characters, at most %zu fit",
                                          static_cast<unsigned long long>(lineNumber),
                                          static_cast<int>(result.key->key.size()),
                                          result.key->key.data(), result.valueLength,
                                          result.key->longestValue),
                               STATUS_FILE_VALUE_TOO_LONG);
        case HeaderLine::FileStart:
            return ReadSegments(stream, image, problem);
        case HeaderLine::Skipped:
        case HeaderLine::Stored:
            break;
        }
    }
}
