#include "Commands.h"
#include "DemoPayloads.h"
#include "ExitCodes.h"
#include "ToolOutput.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>

namespace {
struct SegmentArgument {
    std::string path;
    std::string revision;
};

struct BuildRequest {
    std::string output;
    ImageHeader header;
    bool demo = false;
    std::array<std::optional<SegmentArgument>, SEGMENT_COUNT> segments;
};

int FindPosition(const std::string& name) {
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        if (name == FileSegmentKind(position).name)
            return position;
    }
    return -1;
}

// NAME=FILE:REV; the revision follows the last ":", so the path may hold colons.
std::string ParseSegment(const std::string& argument, BuildRequest& request) {
    const std::size_t equals = argument.find('=');
    const std::size_t colon = argument.rfind(':');
    const int position = FindPosition(argument.substr(0, equals));
    if (equals == std::string::npos || position < 0)
        return "unknown argument '" + argument + "'";
    if (colon == std::string::npos || colon <= equals + 1 || colon + 1 == argument.size())
        return "'" + argument + "' is not NAME=FILE:REV";
    if (request.segments[position])
        return std::string(FileSegmentKind(position).name) + " is given twice";
    if (argument.size() - colon - 1 > 4)
        return "the revision in '" + argument + "' has more than 4 characters";
    request.segments[position] = SegmentArgument{argument.substr(equals + 1, colon - equals - 1),
                                                 argument.substr(colon + 1)};
    return {};
}

std::string* OptionField(const std::string& option, BuildRequest& request) {
    if (option == "-o" || option == "--output")
        return &request.output;
    if (option == "--model")
        return &request.header.modelName;
    if (option == "--image-rev")
        return &request.header.imageRev;
    if (option == "--utility-rev")
        return &request.header.utilityRev;
    if (option == "--description")
        return &request.header.updatedDescription;
    if (option == "--revs-not-support")
        return &request.header.revsNotSupport;
    return nullptr;
}

std::string ParseArguments(const std::vector<std::string>& arguments, BuildRequest& request) {
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (argument == "--demo") {
            request.demo = true;
            continue;
        }
        if (argument.empty() || argument[0] != '-') {
            if (std::string problem = ParseSegment(argument, request); !problem.empty())
                return problem;
            continue;
        }
        const std::size_t equals = argument.find('=');
        const std::string option = argument.substr(0, equals);
        std::string* field = OptionField(option, request);
        if (field == nullptr)
            return "unknown option '" + option + "'";
        if (equals != std::string::npos)
            *field = argument.substr(equals + 1);
        else if (index + 1 < arguments.size())
            *field = arguments[++index];
        else
            return "option '" + option + "' needs a value";
    }
    return {};
}

std::string FindMissing(const BuildRequest& request) {
    if (request.output.empty())
        return "no output file (-o OUT)";
    if (request.header.modelName.empty() || request.header.imageRev.empty() ||
        request.header.utilityRev.empty())
        return "--model, --image-rev and --utility-rev are required";
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const char* name = FileSegmentKind(position).name;
        if (request.demo && request.segments[position])
            return std::string("--demo makes the segments; ") + name + " is given too";
        if (!request.demo && !request.segments[position])
            return std::string("no ") + name + "=FILE:REV (or --demo)";
    }
    return {};
}

// Reads a payload file whole; false with a message when it cannot be read.
bool ReadPayload(const std::string& path, std::vector<std::uint8_t>& payload) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        PrintError(path + ": cannot open: " + std::strerror(errno));
        return false;
    }
    std::uint8_t chunk[65536];
    std::size_t count = 0;
    while ((count = std::fread(chunk, 1, sizeof chunk, file)) > 0)
        payload.insert(payload.end(), chunk, chunk + count);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    if (failed)
        PrintError(path + ": cannot read");
    return !failed;
}

int MakeContents(const BuildRequest& request, ImageContents& contents) {
    contents.header = request.header;
    if (request.demo) {
        FillDemoSegments(contents);
        return 0;
    }
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentArgument& argument = *request.segments[position];
        contents.segments[position].revision = argument.revision;
        if (!ReadPayload(argument.path, contents.segments[position].payload))
            return EXIT_NO_INPUT;
    }
    return 0;
}

bool WriteFile(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    std::FILE* file = std::fopen(path.c_str(), "wb");
    if (file == nullptr) {
        PrintError(path + ": cannot create: " + std::strerror(errno));
        return false;
    }
    const bool written = std::fwrite(bytes.data(), 1, bytes.size(), file) == bytes.size();
    if (std::fclose(file) != 0 || !written) {
        PrintError(path + ": cannot write: " + std::strerror(errno));
        std::remove(path.c_str());
        return false;
    }
    return true;
}

// A file the utility would refuse is still written, as asked; the builder is told why.
void WarnIfRefused(const std::string& path, const std::vector<std::uint8_t>& bytes) {
    MemoryImageStream stream(bytes);
    ImageInfo image;
    ImageProblem problem;
    StatusCode status = LoadImageFile(stream, image, &problem);
    if (status == STATUS_COMPLETE)
        status = ValidateImage(image, &problem);
    if (status != STATUS_COMPLETE) {
        PrintError("warning: " + path + ": the update utility will refuse this file: " +
                   std::string(StatusText(status)) + " Error number: " + std::to_string(status) +
                   " (" + DescribeProblem(problem) + ")");
    }
}
} // namespace

int RunBuild(const std::vector<std::string>& arguments) {
    BuildRequest request;
    std::string problem = ParseArguments(arguments, request);
    if (problem.empty())
        problem = FindMissing(request);
    if (problem.empty())
        problem = FindHeaderProblem(request.header);
    if (!problem.empty())
        return UsageError(problem);
    ImageContents contents;
    if (const int code = MakeContents(request, contents); code != 0)
        return code;
    if (problem = FindWriteProblem(contents); !problem.empty()) {
        PrintError(request.output + ": " + problem);
        return EXIT_DATA_ERROR;
    }
    const std::vector<std::uint8_t> bytes = WriteImageFile(contents);
    if (!WriteFile(request.output, bytes))
        return EXIT_CANT_CREATE;
    WarnIfRefused(request.output, bytes);
    return 0;
}
