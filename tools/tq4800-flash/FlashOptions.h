#pragma once

#include <string>
#include <string_view>
#include <vector>

// The command line of tq4800-flash.
struct FlashOptions {
    enum class Action { Update, List, Help, Version };
    Action action = Action::Update;
    std::string devicePrefix; // empty: the first instrument found
    bool assumeYes = false;
    std::string file;
    // Every --device given, in order; the first is devicePrefix.
    std::vector<std::string> devicePrefixes;
    bool all = false;  // --all: every instrument found
    bool json = false; // --json: JSON lines instead of the text log

    // Several instruments at once: --all, or --device more than once.
    bool UpdatesFleet() const { return all || devicePrefixes.size() > 1; }
};

// Parses the arguments after the program name as getopt_long does (bundled short options,
// "-dX", "--device=X", abbreviated long options, "--" ending the options). On a usage error
// returns false and sets error to a one-line explanation; error is empty when getopt_long has
// already printed its own on standard error.
bool ParseFlashOptions(const std::vector<std::string_view>& args, FlashOptions& options,
                       std::string& error);

// The text of --help.
std::string_view FlashUsage();
