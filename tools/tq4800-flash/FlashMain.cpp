// tq4800-flash: the firmware update of the TQ4800 from a terminal.

#include "link/visa/BackendFactory.h"
#include "tools/tq4800-flash/ListInstruments.h"

#include <cstring>
#include <iostream>

namespace {

constexpr char USAGE[] = "Usage: tq4800-flash --list\n"
                         "\n"
                         "  --list   list the TQ4800 instruments on the USB bus, one a line\n"
                         "  --help   show this help\n"
                         "\n"
                         "The VISA backend is chosen by TQ4800_VISA (sim for the simulated "
                         "instrument).\n";

} // namespace

int main(int argc, char** argv) {
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << USAGE;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--list") == 0) {
        visa::InstallBackendFromEnvironment();
        return ListInstruments(std::cout, std::cerr);
    }
    if (argc < 2)
        std::cerr << "tq4800-flash: no operation given\n";
    else
        std::cerr << "tq4800-flash: unknown argument \"" << argv[1] << "\"\n";
    std::cerr << USAGE;
    return EXIT_USAGE;
}
