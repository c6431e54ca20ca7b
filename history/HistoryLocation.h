#pragma once

#include <string>

// Where the update history lives: TQ4800_HISTORY names a file, or "off" for no history;
// unset, $XDG_STATE_HOME/tq4800-update/history.sqlite3, with ~/.local/state when
// XDG_STATE_HOME is unset or not an absolute path.
struct HistoryLocation {
    bool off = false;
    std::string path;
};

HistoryLocation HistoryLocationFromEnvironment();
