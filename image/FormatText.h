#pragma once

#include <string>

// printf-style formatting into a std::string, for messages.
std::string FormatText(const char* format, ...) __attribute__((format(printf, 1, 2)));
