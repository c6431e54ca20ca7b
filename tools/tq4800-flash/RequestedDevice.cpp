#include "tools/tq4800-flash/RequestedDevice.h"

void ReportNoMatchingDevice(const ConsoleDeviceList& devices, const std::string& prefix,
                            TerminalScreen& screen) {
    std::string found;
    for (const std::string& name : devices.Items())
        found += "\n  " + name;
    screen.PrintError("tq4800-flash: no instrument whose name begins with \"" + prefix +
                      "\"; found:" + found);
}
