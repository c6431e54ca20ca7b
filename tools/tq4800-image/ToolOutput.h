#pragma once

#include "image/ImageProblem.h"

#include <string>
#include <string_view>

// Prints "tq4800-image: message" on standard error.
void PrintError(const std::string& message);

// "segment 3 (MAIN): detail" or just the detail for the header.
std::string DescribeProblem(const ImageProblem& problem);

// A text with bytes outside printable ASCII written as \xHH.
std::string Printable(std::string_view text);
