#include "tools/tq4800-flash/FleetTargets.h"

#include "link/InstrumentSession.h"
#include "link/visa/ResourceName.h"
#include "tools/tq4800-flash/ConsoleDeviceList.h"
#include "tools/tq4800-flash/ExitCodes.h"
#include "update/UpdateSequence.h"

#include <algorithm>

namespace {

const std::string PROGRAM = "tq4800-flash: ";

std::string Listed(const std::vector<std::string>& names) {
    std::string text;
    for (const std::string& name : names)
        text += "\n  " + name;
    return text;
}

// The serial number of "USB0::0x1D7A::0x52C1::SERIAL::INSTR", or empty.
std::string SerialField(std::string_view name) {
    visa::UsbResourceName parts;
    return visa::ParseResourceName(name, parts) ? parts.serial : std::string();
}

// Every name the request stands for: those with its serial number, else those equal to it,
// else those it begins. Equal names (one serial number on two instruments) all count.
std::vector<std::string> NamedBy(const std::string& request,
                                 const std::vector<std::string>& found) {
    const auto collect = [&](auto matches) {
        std::vector<std::string> names;
        std::copy_if(found.begin(), found.end(), std::back_inserter(names), matches);
        return names;
    };
    std::vector<std::string> names = collect([&](const std::string& name) {
        return visa::EqualsNoCase(SerialField(name), request) ||
               visa::EqualsNoCase(SerialNumberOf(name), request);
    });
    if (names.empty())
        names = collect([&](const std::string& name) { return visa::EqualsNoCase(name, request); });
    if (names.empty())
        names = collect([&](const std::string& name) { return StartsNoCase(name, request); });
    return names;
}

bool AllEqual(const std::vector<std::string>& names) {
    return std::all_of(names.begin(), names.end(),
                       [&](const std::string& name) { return name == names.front(); });
}

int Resolve(const std::vector<std::string>& requests, const std::vector<std::string>& found,
            std::vector<std::string>& chosen, std::string& error) {
    for (const std::string& request : requests) {
        const std::vector<std::string> names = NamedBy(request, found);
        if (names.empty()) {
            error = PROGRAM +
                    "no instrument whose serial number is, or whose name begins with, \"" +
                    request + "\"; found:" + Listed(found);
            return EXIT_UNAVAILABLE;
        }
        if (!AllEqual(names)) {
            error = PROGRAM + "\"" + request +
                    "\" begins the names of several instruments:" + Listed(names);
            return EXIT_USAGE;
        }
        chosen.insert(chosen.end(), names.begin(), names.end());
    }
    return 0;
}

// The names that stand more than once in the list, each once.
std::vector<std::string> Duplicates(std::vector<std::string> names) {
    std::sort(names.begin(), names.end());
    std::vector<std::string> twice;
    for (std::size_t i = 1; i < names.size(); ++i)
        if (names[i] == names[i - 1] && (twice.empty() || twice.back() != names[i]))
            twice.push_back(names[i]);
    return twice;
}

} // namespace

std::vector<std::string> SearchInstruments() {
    ConsoleDeviceList devices;
    InstrumentSession session(devices);
    session.OpenResourceManager();
    session.FindInstruments();
    session.CloseResourceManager();
    return devices.Items();
}

int ChooseInstruments(const FlashOptions& options, const std::vector<std::string>& found,
                      std::vector<std::string>& chosen, std::string& error) {
    chosen.clear();
    if (found.empty()) {
        error = "No instrument found.";
        return EXIT_UNAVAILABLE;
    }
    if (options.all)
        chosen = found;
    else if (options.devicePrefixes.empty())
        chosen = {found.front()};
    else if (int code = Resolve(options.devicePrefixes, found, chosen, error))
        return code;
    if (const std::vector<std::string> twice = Duplicates(chosen); !twice.empty()) {
        error = PROGRAM +
                "these resource names stand twice in the list (instruments with one serial "
                "number, or one instrument named twice); nothing was touched:" +
                Listed(twice);
        return EXIT_USAGE;
    }
    return 0;
}

int ChooseFleet(const FlashOptions& options, std::vector<FleetInstrument>& members,
                std::string& error) {
    std::vector<std::string> chosen;
    if (int code = ChooseInstruments(options, SearchInstruments(), chosen, error))
        return code;
    members.clear();
    for (const std::string& name : chosen)
        members.push_back({name, SerialNumberOf(name)});
    return 0;
}
