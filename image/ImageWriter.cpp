#include "image/ImageWriter.h"

#include "image/BigEndian.h"
#include "image/FormatText.h"
#include "image/HeaderKeys.h"
#include "image/SegmentCatalogue.h"
#include "image/SegmentRecordLayout.h"
#include "image/TrimText.h"

#include <algorithm>

namespace {
const std::string& HeaderValue(const ImageHeader& header, HeaderField field) {
    switch (field) {
    case HeaderField::ImageRev:
        return header.imageRev;
    case HeaderField::ModelName:
        return header.modelName;
    case HeaderField::RevsNotSupport:
        return header.revsNotSupport;
    case HeaderField::UpdatedDescription:
        return header.updatedDescription;
    case HeaderField::UtilityRev:
        break;
    }
    return header.utilityRev;
}

// The loader cuts a value at "=", a line at a line feed and a text at NUL, and trims
// blank bytes at both ends.
std::string FindValueProblem(const HeaderKey& key, const std::string& value) {
    const std::string name(key.key);
    if (value.size() > key.longestValue)
        return FormatText("%s has %zu characters; at most %zu fit", name.c_str(), value.size(),
                          key.longestValue);
    if (value.find_first_of(std::string("=\n\0", 3)) != std::string::npos)
        return name + " contains \"=\", a line feed or a NUL byte";
    if (!value.empty() && (IsBlankByte(value.front()) || IsBlankByte(value.back())))
        return name + " begins or ends with a blank byte";
    return {};
}

std::string FindRecordProblem(const SegmentRecord& record, int position) {
    const SegmentKind& kind = FileSegmentKind(position);
    if (record.revision.size() > RECORD_REVISION_SIZE ||
        record.revision.find('\0') != std::string::npos)
        return FormatText("%s: the revision \"%s\" is not at most 4 characters without NUL",
                          kind.name, record.revision.c_str());
    const std::uint64_t recordSize = RecordLength(record) + RECORD_OVERHEAD;
    if (recordSize > kind.maxSize)
        return FormatText("%s: a payload of %zu bytes makes a record of %llu bytes; the region "
                          "takes %u (a payload of at most %u)",
                          kind.name, record.payload.size(),
                          static_cast<unsigned long long>(recordSize), kind.maxSize,
                          LargestPayload(position));
    return {};
}
} // namespace

std::uint32_t LargestPayload(int position) {
    return FileSegmentKind(position).maxSize - RECORD_OVERHEAD -
           (RECORD_FIXED_SIZE - RECORD_LENGTH_START);
}

std::uint64_t RecordLength(const SegmentRecord& record) {
    if (record.length)
        return *record.length;
    return std::uint64_t{RECORD_FIXED_SIZE - RECORD_LENGTH_START} + record.payload.size();
}

std::string FindHeaderProblem(const ImageHeader& header) {
    for (const HeaderKey& key : HeaderKeys) {
        std::string problem = FindValueProblem(key, HeaderValue(header, key.field));
        if (!problem.empty())
            return problem;
    }
    return {};
}

std::string FindWriteProblem(const ImageContents& contents) {
    if (std::string problem = FindHeaderProblem(contents.header); !problem.empty())
        return problem;
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        std::string problem = FindRecordProblem(contents.segments[position], position);
        if (!problem.empty())
            return problem;
    }
    return {};
}

std::string EncodeHeader(const ImageHeader& header) {
    std::string text;
    for (const HeaderKey& key : HeaderKeys) {
        const std::string& value = HeaderValue(header, key.field);
        if (!value.empty())
            text.append("#").append(key.key).append("=").append(value).append("\n");
    }
    text.append("#").append(FILE_START_KEY).append("\n");
    return text;
}

std::vector<std::uint8_t> EncodeSegmentRecord(const SegmentRecord& record, int position) {
    const auto length = static_cast<std::uint32_t>(RecordLength(record));
    std::vector<std::uint8_t> bytes;
    bytes.reserve(RECORD_FIXED_SIZE + record.payload.size() + 2);
    AppendBigEndian32(bytes, record.word0);
    AppendBigEndian32(bytes, record.word1.value_or(length));
    AppendBigEndian32(bytes, length);
    std::uint8_t revision[RECORD_REVISION_SIZE] = {};
    std::copy_n(record.revision.begin(), std::min<std::size_t>(record.revision.size(), 4),
                revision);
    bytes.insert(bytes.end(), revision, revision + RECORD_REVISION_SIZE);
    AppendBigEndian32(bytes, record.word4);
    bytes.insert(bytes.end(), record.payload.begin(), record.payload.end());
    bytes.push_back(record.type.value_or(FileSegmentKind(position).firstBlock));
    bytes.push_back(record.flag);
    return bytes;
}

std::vector<std::uint8_t> WriteImageFile(const ImageContents& contents) {
    const std::string header = EncodeHeader(contents.header);
    std::vector<std::uint8_t> file(header.begin(), header.end());
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const std::vector<std::uint8_t> record =
            EncodeSegmentRecord(contents.segments[position], position);
        file.insert(file.end(), record.begin(), record.end());
    }
    return file;
}
