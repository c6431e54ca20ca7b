#pragma once

#include "status/StatusTable.h"

#include <string>
#include <utility>

// Where and why a load or a check stopped, for messages that name the place: the tools
// print it next to the status code. The window shows only the code.
struct ImageProblem {
    static constexpr int HEADER = -1;
    int segment = HEADER; // position 0 to 4 in the file, or HEADER
    std::string detail;
};

// Fills problem, when there is one, and returns code.
inline StatusCode NoteProblem(ImageProblem* problem, int segment, std::string detail,
                              StatusCode code) {
    if (problem != nullptr) {
        problem->segment = segment;
        problem->detail = std::move(detail);
    }
    return code;
}
