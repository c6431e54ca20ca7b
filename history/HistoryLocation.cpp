#include "history/HistoryLocation.h"

#include <cstdlib>
#include <pwd.h>
#include <unistd.h>

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value != nullptr ? value : "";
}

std::string HomeFolder() {
    std::string home = Environment("HOME");
    if (home.empty())
        if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_dir)
            home = entry->pw_dir;
    return home;
}

} // namespace

HistoryLocation HistoryLocationFromEnvironment() {
    const std::string chosen = Environment("TQ4800_HISTORY");
    if (chosen == "off")
        return {true, {}};
    if (!chosen.empty())
        return {false, chosen};
    // The XDG base directory rules ignore a relative value.
    std::string state = Environment("XDG_STATE_HOME");
    if (state.empty() || state[0] != '/')
        state = HomeFolder() + "/.local/state";
    return {false, state + "/tq4800-update/history.sqlite3", true};
}
