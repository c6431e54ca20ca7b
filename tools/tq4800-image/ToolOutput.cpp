#include "ToolOutput.h"

#include "image/FormatText.h"
#include "image/PrintableText.h"
#include "image/SegmentCatalogue.h"

#include <cstdio>

void PrintError(const std::string& message) {
    std::fprintf(stderr, "tq4800-image: %s\n", PrintableLines(message).c_str());
}

std::string DescribeProblem(const ImageProblem& problem) {
    if (problem.segment == ImageProblem::HEADER)
        return problem.detail;
    return FormatText("segment %d (%s): %s", problem.segment, FileSegmentKind(problem.segment).name,
                      problem.detail.c_str());
}
