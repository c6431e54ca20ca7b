// Times LoadImageFile + ValidateImage on the largest file the utility accepts: all five
// records at their largest L. Prints the median, fastest and slowest of many runs, from
// memory and from a file. The goal is well under 50 ms a load. Then times the refusal of a
// 5 GiB file (sparse, all zero bytes) without a "#FileStart" line, which the header scan
// reads to its end: the goal is the speed of the disk.

#include "image/ImageFile.h"
#include "image/ImageWriter.h"
#include "image/MemoryImageStream.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"
#include "update/LastCatch.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <unistd.h>
#include <vector>

namespace {
constexpr int RUNS = 101;

std::vector<std::uint8_t> LargestAcceptedFile() {
    ImageContents contents;
    contents.header = {"9.99", "TQ4800", "", "Largest accepted file", "1.0.0"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        SegmentRecord& record = contents.segments[position];
        record.revision = "9.99";
        // L + 6 equals the region's size: 16 fixed bytes after word0, the payload, 2 more.
        record.payload.resize(FileSegmentKind(position).maxSize - 22);
        for (std::size_t index = 0; index < record.payload.size(); ++index)
            record.payload[index] = static_cast<std::uint8_t>(index * 31 + position);
    }
    return WriteImageFile(contents);
}

// Runs one load and check; false when the file was not accepted.
using LoadAndCheck = std::function<bool(ImageInfo&)>;

void Report(const char* what, const LoadAndCheck& loadAndCheck) {
    std::vector<double> milliseconds;
    ImageInfo image;
    for (int run = 0; run < RUNS; ++run) {
        const auto start = std::chrono::steady_clock::now();
        const bool accepted = loadAndCheck(image);
        const auto end = std::chrono::steady_clock::now();
        if (!accepted) {
            std::fprintf(stderr, "bench-image-load: %s: the file was not accepted\n", what);
            std::exit(1);
        }
        milliseconds.push_back(std::chrono::duration<double, std::milli>(end - start).count());
    }
    std::sort(milliseconds.begin(), milliseconds.end());
    std::printf("load+check %-12s median %7.3f ms  fastest %7.3f ms  slowest %7.3f ms  (%d runs)\n",
                what, milliseconds[milliseconds.size() / 2], milliseconds.front(),
                milliseconds.back(), RUNS);
}
constexpr std::uint64_t HUGE_FILE_SIZE = 5ull << 30;

bool ReportHugeFile(const std::filesystem::path& path) {
    std::FILE* output = std::fopen(path.c_str(), "wb");
    const bool made = output != nullptr && ftruncate(fileno(output), HUGE_FILE_SIZE) == 0;
    if (output != nullptr)
        std::fclose(output);
    if (!made) {
        std::fprintf(stderr, "bench-image-load: cannot make %s\n", path.c_str());
        return false;
    }
    ImageInfo image;
    const auto start = std::chrono::steady_clock::now();
    const std::clock_t startCpu = std::clock();
    const auto stream = OpenImageFile(path.string());
    const StatusCode status = stream ? LoadImageFile(*stream, image) : STATUS_COMPLETE;
    const double cpuSeconds = static_cast<double>(std::clock() - startCpu) / CLOCKS_PER_SEC;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::filesystem::remove(path);
    std::printf("refusal of a 5 GiB file without header end: %.2f s (%.0f MB/s), %.2f s of CPU, "
                "status %d\n",
                seconds, static_cast<double>(HUGE_FILE_SIZE) / seconds / 1e6, cpuSeconds, status);
    return status == STATUS_FILE_CORRUPT;
}
} // namespace

int main() try {
    const std::vector<std::uint8_t> file = LargestAcceptedFile();
    std::printf("largest accepted file: %zu bytes\n", file.size());

    Report("from memory", [&file](ImageInfo& image) {
        MemoryImageStream stream(file);
        return LoadImageFile(stream, image) == 0 && ValidateImage(image) == 0;
    });

    const std::filesystem::path path = std::filesystem::temp_directory_path() /
                                       ("bench-image-load-" + std::to_string(::getpid()) + ".img");
    std::FILE* output = std::fopen(path.c_str(), "wb");
    if (output == nullptr || std::fwrite(file.data(), 1, file.size(), output) != file.size()) {
        std::fprintf(stderr, "bench-image-load: cannot write %s\n", path.c_str());
        return 1;
    }
    std::fclose(output);
    Report("from a file", [&path](ImageInfo& image) {
        const auto stream = OpenImageFile(path.string());
        return stream && LoadImageFile(*stream, image) == 0 && ValidateImage(image) == 0;
    });
    std::filesystem::remove(path);
    return ReportHugeFile(path) ? 0 : 1;
} catch (...) {
    return ReportUncaughtException("bench-image-load");
}
