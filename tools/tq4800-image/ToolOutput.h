#pragma once

#include "image/ImageProblem.h"

#include <string>

// Prints "tq4800-image: message" on standard error, control characters escaped.
void PrintError(const std::string& message);

// "segment 3 (MAIN): detail" or just the detail for the header.
std::string DescribeProblem(const ImageProblem& problem);
