#pragma once

#include <string>
#include <vector>

// The commands of tq4800-image; each takes the arguments after its name and returns the
// exit code.
int RunBuild(const std::vector<std::string>& arguments);
int RunCheck(const std::vector<std::string>& arguments);
int RunShow(const std::vector<std::string>& arguments);

// Reports wrong arguments and returns EXIT_USAGE.
int UsageError(const std::string& message);
