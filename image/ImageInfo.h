#pragma once

#include <array>
#include <cstdint>
#include <vector>

// One segment record of a firmware revision file as loaded. The numbers are converted from
// the file's big-endian words; `data` holds the whole record exactly as stored (from word0
// to flag, byteCount bytes) in a zero-filled buffer of the region's maxSize + 6 bytes.
struct SegmentImage {
    std::uint32_t word0 = 0;
    std::uint32_t word1 = 0;
    std::uint32_t length = 0; // L: the record occupies L + 6 bytes of the file
    char revision[5] = {};    // the record's four revision characters and a NUL
    std::uint32_t word4 = 0;
    std::uint8_t type = 0; // the first flash block of the segment's region
    std::uint8_t flag = 0;
    std::uint32_t byteCount = 0; // bytes actually read into data
    std::vector<std::uint8_t> data;
};

inline constexpr int SEGMENT_COUNT = 5;

// A loaded firmware revision file: fixed-width header texts and the five segments in the
// order FPGA1, FPGA2, FPGA3, MAIN, HTTP.
struct ImageInfo {
    char ImageRev[16] = {};
    char ModelName[64] = {};
    char RevsNotSupport[16] = {};
    char UpdatedDescription[512] = {};
    char UtilityRev[16] = {};
    std::array<SegmentImage, SEGMENT_COUNT> segments;
};
