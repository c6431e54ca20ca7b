#pragma once

#include <string>

// The id shared by every record of one invocation of a program: 128 random bits from the
// kernel's generator, written as 32 lower-case hex digits.
std::string NewRunId();
