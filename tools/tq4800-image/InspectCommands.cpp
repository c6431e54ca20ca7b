#include "Commands.h"
#include "ExitCodes.h"
#include "ToolOutput.h"
#include "image/Checksum.h"
#include "image/FormatText.h"
#include "image/HeaderKeys.h"
#include "image/ImageFile.h"
#include "image/PrintableText.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <cstdio>
#include <cstring>

namespace {
// A file loaded and checked exactly as the "..." button of the window does it.
struct CheckedFile {
    ImageInfo image;
    StatusCode status = STATUS_COMPLETE;
    ImageProblem problem;
};

bool LoadAndCheck(const std::string& path, CheckedFile& file) {
    std::unique_ptr<ImageStream> stream = OpenImageFile(path);
    if (!stream) {
        PrintError(path + ": Can't open file.");
        return false;
    }
    file.status = LoadImageFile(*stream, file.image, &file.problem);
    if (file.status == STATUS_COMPLETE)
        file.status = ValidateImage(file.image, &file.problem);
    return true;
}

std::string DescribeStatus(StatusCode status) {
    return std::string(StatusText(status)) + " Error number: " + std::to_string(status);
}

// FILE, or "--" and a FILE that may begin with "-".
bool TakeFileArgument(const std::vector<std::string>& arguments, std::string& path) {
    if (arguments.size() == 2 && arguments[0] == "--") {
        path = arguments[1];
        return true;
    }
    if (arguments.size() != 1 || arguments[0].starts_with('-'))
        return false;
    path = arguments[0];
    return true;
}

std::string FieldText(const char* field, std::size_t size) {
    return Printable(std::string_view(field, ::strnlen(field, size)));
}

void PrintHeader(const std::string& path, const ImageInfo& image) {
    std::printf("%-20s%s\n", "File", Printable(path).c_str());
    for (const HeaderKey& key : HeaderKeys) {
        const std::span<const char> field = HeaderFieldText(image, key.field);
        std::printf("%-20s%s\n", std::string(key.key).c_str(),
                    FieldText(field.data(), field.size()).c_str());
    }
}

std::string ChecksumText(const SegmentImage& segment) {
    std::uint32_t sum = 0;
    if (!SegmentChecksum(segment, sum))
        return "-";
    return FormatText("0x%08X (%d)", sum, static_cast<std::int32_t>(sum));
}

void PrintSegments(const ImageInfo& image) {
    std::printf("\n%-4s%-8s%-6s%-6s%-12s%-10s%-10s%s\n", "Pos", "Region", "Type", "Flag", "L",
                "Bytes", "Revision", "Checksum");
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        std::printf("%-4d%-8s%-6u%-6u0x%08X  %-10u%-10s%s\n", position,
                    FileSegmentKind(position).name, segment.type, segment.flag, segment.length,
                    segment.byteCount, FieldText(segment.revision, sizeof segment.revision).c_str(),
                    ChecksumText(segment).c_str());
    }
}

void PrintResult(const CheckedFile& file) {
    if (file.status == STATUS_COMPLETE) {
        std::printf("\nResult              0 accepted\n");
        return;
    }
    std::printf("\nResult              %d %s\n%-20s%s\n", file.status,
                std::string(StatusText(file.status)).c_str(), "",
                Printable(DescribeProblem(file.problem)).c_str());
}
} // namespace

int RunCheck(const std::vector<std::string>& arguments) {
    std::string path;
    if (!TakeFileArgument(arguments, path))
        return UsageError("check takes one FILE");
    CheckedFile file;
    if (!LoadAndCheck(path, file))
        return EXIT_NO_INPUT;
    if (file.status != STATUS_COMPLETE) {
        PrintError(path + ": " + DescribeStatus(file.status));
        PrintError(path + ": " + DescribeProblem(file.problem));
    }
    return file.status;
}

int RunShow(const std::vector<std::string>& arguments) {
    std::string path;
    if (!TakeFileArgument(arguments, path))
        return UsageError("show takes one FILE");
    CheckedFile file;
    if (!LoadAndCheck(path, file))
        return EXIT_NO_INPUT;
    PrintHeader(path, file.image);
    PrintSegments(file.image);
    PrintResult(file);
    return file.status;
}
