// Writes the fuzzer's seed corpus into the folder given: small accepted files and files
// whose records have the lengths that matter (0, below 16, the capacity, one above it,
// 0xFFFFFFFF), all made with the writer.

#include "image/ImageWriter.h"

#include <cstdio>
#include <string>

namespace {
ImageContents SmallAcceptedContents() {
    ImageContents contents;
    contents.header = {"1.10", "TQ4800", "1.00", "Seed", "1.0.0"};
    const char* revisions[SEGMENT_COUNT] = {"02", "02", "02", "1.10", "1.10"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        contents.segments[position].revision = revisions[position];
        contents.segments[position].payload.assign(8 + position * 4,
                                                   static_cast<std::uint8_t>(0x30 + position));
    }
    return contents;
}

bool WriteSeed(const std::string& folder, const std::string& name,
               const std::vector<std::uint8_t>& bytes) {
    const std::string path = folder + "/" + name;
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr)
        return false;
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    return std::fclose(file) == 0 && written;
}
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "Usage: fuzz-image-seeds FOLDER\n");
        return 64;
    }
    const std::string folder = argv[1];
    bool written = WriteSeed(folder, "accepted", WriteImageFile(SmallAcceptedContents()));
    const std::uint32_t lengths[] = {0, 1, 8, 15, 0x10000, 0x10001, 0xFFFFFFFF};
    for (std::uint32_t length : lengths) {
        ImageContents contents = SmallAcceptedContents();
        contents.segments[0].length = length;
        contents.segments[4].length = length;
        written = WriteSeed(folder, "length-" + std::to_string(length), WriteImageFile(contents)) &&
                  written;
    }
    ImageContents newer = SmallAcceptedContents();
    newer.header.utilityRev = "1.0.1";
    written = WriteSeed(folder, "newer-utility", WriteImageFile(newer)) && written;
    if (!written) {
        std::fprintf(stderr, "fuzz-image-seeds: cannot write the seeds into %s\n", argv[1]);
        return 73;
    }
    return 0;
}
