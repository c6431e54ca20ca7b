#pragma once

#include <string>
#include <string_view>
#include <vector>

// The text in lines of at most width characters, broken between words where it can be.
std::vector<std::string> Wrapped(std::string_view text, std::size_t width);
