#pragma once

#include <ostream>
#include <string_view>
#include <vector>

// tq4800-flash --history [--serial PREFIX] [--limit N] [--json]: the update history,
// newest first.
bool IsHistoryCommand(const std::vector<std::string_view>& args);

// Prints the records on out and problems on err; 0 (also when no history exists yet, which
// err says), 64 for wrong arguments, 74 when the history cannot be read or its path cannot
// be checked.
int RunHistoryCommand(const std::vector<std::string_view>& args, std::ostream& out,
                      std::ostream& err);
