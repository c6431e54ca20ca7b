#pragma once

// Firmware revision files for the tests, made with the writer.

#include "image/ImageFile.h"
#include "image/ImageWriter.h"
#include "image/MemoryImageStream.h"

#include <cctype>
#include <cmath>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>
#include <unistd.h>
#include <vector>

// Contents that ValidateImage accepts: small payloads of distinct bytes per segment.
inline ImageContents AcceptedContents() {
    ImageContents contents;
    contents.header = {"1.10", "TQ4800", "", "Test image", "1.0.0"};
    const char* revisions[SEGMENT_COUNT] = {"02", "03", "04", "1.10", "2.01"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SegmentRecord& record = contents.segments[position];
        record.revision = revisions[position];
        record.word0 = 0x11110000u + static_cast<std::uint32_t>(position);
        record.word4 = 0x44440000u + static_cast<std::uint32_t>(position);
        for (int index = 0; index < 40 + position * 7; ++index)
            record.payload.push_back(static_cast<std::uint8_t>(position * 50 + index));
    }
    return contents;
}

// The bytes of accepted contents after change.
inline std::vector<std::uint8_t> Changed(const std::function<void(ImageContents&)>& change) {
    ImageContents contents = AcceptedContents();
    change(contents);
    return WriteImageFile(contents);
}

// The test firmware: newer than the simulator's default revisions, its MAIN segment of
// mainSize patterned bytes (by default three flash blocks long, so that the progress bar and
// the loader count blocks).
inline ImageContents TestFirmware(std::size_t mainSize = 140000) {
    ImageContents contents = AcceptedContents();
    std::vector<std::uint8_t>& main = contents.segments[3].payload;
    main.resize(mainSize);
    for (std::size_t i = 0; i < main.size(); ++i)
        main[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return contents;
}

// Whether percent of a whole update of the demo file (`tq4800-image build --demo`: segments of
// 8, 12, 12, 48 and 24 KiB) can be shown while its segment step (1 to 5) is written.
inline bool WithinDemoSegment(int step, int percent) {
    constexpr double KIB_BEFORE[] = {0, 8, 20, 32, 80, 104};
    return step >= 1 && step <= 5 && percent >= std::floor(KIB_BEFORE[step - 1] * 100 / 104) &&
           percent <= std::ceil(KIB_BEFORE[step] * 100 / 104);
}

inline std::vector<std::uint8_t> Bytes(const std::string& text) {
    return {text.begin(), text.end()};
}

inline std::vector<std::uint8_t> operator+(std::vector<std::uint8_t> left,
                                           const std::vector<std::uint8_t>& right) {
    left.insert(left.end(), right.begin(), right.end());
    return left;
}

// The five records of contents, without a header.
inline std::vector<std::uint8_t> RecordsOf(const ImageContents& contents) {
    std::vector<std::uint8_t> bytes;
    for (int position = 0; position < SEGMENT_COUNT; ++position)
        bytes = bytes + EncodeSegmentRecord(contents.segments[position], position);
    return bytes;
}

inline StatusCode LoadBytes(const std::vector<std::uint8_t>& bytes, ImageInfo& image,
                            ImageProblem* problem = nullptr) {
    MemoryImageStream stream(bytes);
    return LoadImageFile(stream, image, problem);
}

// Test names from a case's label: letters and digits kept, everything else "_".
template <typename Case> std::string LabelName(const testing::TestParamInfo<Case>& info) {
    std::string name;
    for (const char* character = info.param.label; *character != '\0'; ++character)
        name += std::isalnum(static_cast<unsigned char>(*character)) ? *character : '_';
    return name;
}

// A test with a temporary folder of its own, removed afterwards.
class TempFolderTest : public testing::Test {
protected:
    void SetUp() override { std::filesystem::create_directories(folder_); }
    void TearDown() override { std::filesystem::remove_all(folder_); }

    std::string Path(const std::string& name) const { return (folder_ / name).string(); }
    std::string Write(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        std::ofstream(Path(name), std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return Path(name);
    }

    const std::filesystem::path folder_ = std::filesystem::temp_directory_path() /
                                          ("tq4800-image-test-" + std::to_string(::getpid()));
};
