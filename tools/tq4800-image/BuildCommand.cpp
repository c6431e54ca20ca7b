#include "Commands.h"
#include "DemoPayloads.h"
#include "ExitCodes.h"
#include "OutputFile.h"
#include "ToolOutput.h"
#include "image/FormatText.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/PrintableText.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"
#include "link/RevisionCheck.h"

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

// The form of a revision the update takes, for the message that refuses another.
const char* RevisionExample(int position) {
    return position < 3 ? "an FPGA segment takes two digits, such as \"02\""
                        : "MAIN and HTTP take a digit or capital letter, \".\" and two digits, "
                          "such as \"1.10\"";
}

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
    bool optionsEnded = false;
    for (std::size_t index = 0; index < arguments.size(); ++index) {
        const std::string& argument = arguments[index];
        if (!optionsEnded && argument == "--") {
            optionsEnded = true;
            continue;
        }
        if (!optionsEnded && argument == "--demo") {
            request.demo = true;
            continue;
        }
        if (optionsEnded || argument[0] != '-') {
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

// A revision the update's comparison refuses would make a file that can never be flashed.
std::string FindUnflashableRevision(const BuildRequest& request) {
    for (int position = 0; position < SEGMENT_COUNT && !request.demo; ++position) {
        const SegmentKind& kind = FileSegmentKind(position);
        const std::string& revision = request.segments[position]->revision;
        if (!IsFlashableRevision(kind.firstBlock, revision.c_str()))
            return FormatText("%s: the revision \"%s\" cannot be flashed (the update refuses "
                              "it with error number %d); %s",
                              kind.name, Printable(revision).c_str(), STATUS_FILE_REV_BAD,
                              RevisionExample(position));
    }
    return {};
}

// Reads a payload whole, but never more than its region takes, so that a device such as
// /dev/zero or an oversized file is refused before it fills the memory: 0, EXIT_DATA_ERROR
// or EXIT_NO_INPUT, with a message.
int ReadPayload(const std::string& path, int position, std::vector<std::uint8_t>& payload) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr) {
        PrintError(path + ": cannot open: " + std::strerror(errno));
        return EXIT_NO_INPUT;
    }
    const std::size_t largest = LargestPayload(position);
    payload.resize(largest + 1);
    const std::size_t count = std::fread(payload.data(), 1, payload.size(), file);
    const bool failed = std::ferror(file) != 0;
    std::fclose(file);
    payload.resize(count);
    if (failed) {
        PrintError(path + ": cannot read");
        return EXIT_NO_INPUT;
    }
    if (count > largest) {
        PrintError(FormatText("%s: more than %zu bytes; the %s region takes a payload of at "
                              "most %zu",
                              path.c_str(), largest, FileSegmentKind(position).name, largest));
        return EXIT_DATA_ERROR;
    }
    return 0;
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
        if (const int code =
                ReadPayload(argument.path, position, contents.segments[position].payload))
            return code;
    }
    return 0;
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
    if (problem = FindUnflashableRevision(request); !problem.empty()) {
        PrintError(problem);
        return EXIT_DATA_ERROR;
    }
    ImageContents contents;
    if (const int code = MakeContents(request, contents); code != 0)
        return code;
    if (problem = FindWriteProblem(contents); !problem.empty()) {
        PrintError(request.output + ": " + problem);
        return EXIT_DATA_ERROR;
    }
    const std::vector<std::uint8_t> bytes = WriteImageFile(contents);
    if (!WriteOutputFile(request.output, bytes))
        return EXIT_CANT_CREATE;
    WarnIfRefused(request.output, bytes);
    return 0;
}
