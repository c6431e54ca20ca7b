#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line of tq4800-flash.
struct FlashOptions {
    enum class Action { Update, List, Help };
    Action action = Action::Update;
    std::string devicePrefix; // empty: the first instrument found
    bool assumeYes = false;
    std::string file;
};

// Parses the arguments after the program name. On a usage error returns false and sets
// error to a one-line explanation.
bool ParseFlashOptions(const std::vector<std::string_view>& args, FlashOptions& options,
                       std::string& error);

// The text of --help.
std::string_view FlashUsage();
