#pragma once

#include <string>

// Where the update history lives: TQ4800_HISTORY names a file, or "off" for no history;
// unset, $XDG_STATE_HOME/tq4800-update/history.sqlite3, with ~/.local/state when
// XDG_STATE_HOME is unset or not an absolute path.
struct HistoryLocation {
    bool off = false;
    std::string path;
    // The location under XDG_STATE_HOME: its folders and file are made private to the user.
    // A file named by TQ4800_HISTORY keeps the permissions it has.
    bool standard = false;
};

HistoryLocation HistoryLocationFromEnvironment();
