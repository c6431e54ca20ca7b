#include "ToolOutput.h"

#include "image/FormatText.h"
#include "image/SegmentCatalogue.h"

#include <cstdio>

void PrintError(const std::string& message) {
    std::fprintf(stderr, "tq4800-image: %s\n", message.c_str());
}

std::string DescribeProblem(const ImageProblem& problem) {
    if (problem.segment == ImageProblem::HEADER)
        return problem.detail;
    return FormatText("segment %d (%s): %s", problem.segment, FileSegmentKind(problem.segment).name,
                      problem.detail.c_str());
}

std::string Printable(std::string_view text) {
    std::string printable;
    for (const char character : text) {
        const auto byte = static_cast<unsigned char>(character);
        if (byte >= 0x20 && byte < 0x7F && byte != '\\')
            printable += character;
        else
            printable += FormatText("\\x%02X", byte);
    }
    return printable;
}
