#pragma once

#include "image/ImageInfo.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

// Writes firmware revision files: the inverse of LoadImageFile. A file written from
// contents without write problems loads back with every field as given (the upper-cased
// header fields upper-cased) and each segment's data equal to its encoded record.

// One segment record to write. The defaults make a record that ValidateImage accepts in
// its position; the optional fields let tests write records that lie.
struct SegmentRecord {
    std::vector<std::uint8_t> payload; // the bytes between word4 and the type byte
    std::string revision;              // at most 4 characters, padded with NULs
    std::uint32_t word0 = 0;
    std::optional<std::uint32_t> word1;  // default: L
    std::optional<std::uint32_t> length; // default: 16 + the payload's size
    std::uint32_t word4 = 0;
    std::optional<std::uint8_t> type; // default: the first block of the position's region
    std::uint8_t flag = 1;
};

// Header values; an empty value writes no line.
struct ImageHeader {
    std::string imageRev;
    std::string modelName;
    std::string revsNotSupport;
    std::string updatedDescription;
    std::string utilityRev;
};

struct ImageContents {
    ImageHeader header;
    std::array<SegmentRecord, SEGMENT_COUNT> segments;
};

// L of a record: its length word, or 16 + the payload's size. Wider than 32 bits so that
// an oversized payload is seen as such.
std::uint64_t RecordLength(const SegmentRecord& record);

// The most payload bytes a record of a position (0 to 4) can carry and still fit its region.
std::uint32_t LargestPayload(int position);

// The first reason why a header would not load back as given; empty when there is none.
std::string FindHeaderProblem(const ImageHeader& header);

// The first reason why contents would not load back as given or would not fit their
// regions, naming the field or segment; empty when there is none.
std::string FindWriteProblem(const ImageContents& contents);

// The header lines and the "#FileStart" line, each ended by a line feed.
std::string EncodeHeader(const ImageHeader& header);

// The bytes of one record for a position (0 to 4): word0, word1, L, the revision, word4,
// the payload, type and flag, whatever L says.
std::vector<std::uint8_t> EncodeSegmentRecord(const SegmentRecord& record, int position);

// The whole file, written as given even when FindWriteProblem has objections.
std::vector<std::uint8_t> WriteImageFile(const ImageContents& contents);
