#include "tools/tq4800-flash/FleetTargets.h"

#include "link/InstrumentSession.h"
#include "tools/tq4800-flash/ConsoleDeviceList.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "update/UpdateSequence.h"

#include <algorithm>

namespace {

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += "\n  " + name;
    return text;
}

std::vector<std::string> Search() {
    ConsoleDeviceList devices;
    InstrumentSession session(devices);
    session.OpenResourceManager();
    session.FindInstruments();
    session.CloseResourceManager();
    return devices.Items();
}

std::vector<std::string> Beginning(const std::vector<std::string>& found,
                                   const std::string& prefix) {
    std::vector<std::string> matching;
    for (const std::string& name : found)
        if (StartsNoCase(name, prefix))
            matching.push_back(name);
    return matching;
}

std::string NoneBegins(const std::string& prefix, const std::vector<std::string>& found) {
    return "tq4800-flash: no instrument whose name begins with \"" + prefix +
           "\"; found:" + Listed(found);
}

// Resolves the prefixes against the names found: each must begin exactly one name (without
// regard to case), and no name may be chosen twice.
int MatchPrefixes(const std::vector<std::string>& prefixes, const std::vector<std::string>& found,
                  std::vector<std::string>& chosen, std::string& error) {
    chosen.clear();
    for (const std::string& prefix : prefixes) {
        const std::vector<std::string> matching = Beginning(found, prefix);
        if (matching.empty()) {
            error = NoneBegins(prefix, found);
            return EXIT_UNAVAILABLE;
        }
        if (matching.size() > 1) {
            error = "tq4800-flash: \"" + prefix +
                    "\" begins the names of several instruments:" + Listed(matching);
            return EXIT_USAGE;
        }
        if (std::find(chosen.begin(), chosen.end(), matching.front()) != chosen.end()) {
            error = "tq4800-flash: " + matching.front() + " is named by more than one --device";
            return EXIT_USAGE;
        }
        chosen.push_back(matching.front());
    }
    return 0;
}

} // namespace

int ChooseFleet(const FlashOptions& options, std::vector<FleetInstrument>& members,
                std::string& error) {
    const std::vector<std::string> found = Search();
    if (found.empty()) {
        error = "No instrument found.";
        return EXIT_UNAVAILABLE;
    }
    std::vector<std::string> chosen;
    if (options.all) {
        chosen = found;
    } else if (options.devicePrefixes.size() > 1) {
        if (int code = MatchPrefixes(options.devicePrefixes, found, chosen, error))
            return code;
    } else {
        // One instrument as a single update takes it: the first that begins with the prefix.
        const std::vector<std::string> matching = Beginning(found, options.devicePrefix);
        if (matching.empty()) {
            error = NoneBegins(options.devicePrefix, found);
            return EXIT_UNAVAILABLE;
        }
        chosen = {matching.front()};
    }
    members.clear();
    for (const std::string& name : chosen)
        members.push_back({name, SerialNumberOf(name)});
    return 0;
}
