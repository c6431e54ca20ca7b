#pragma once

#include "tools/tq4800-flash/ConsoleDeviceList.h"
#include "tools/tq4800-flash/TerminalScreen.h"

#include <string>

// Tells the operator that no instrument on the bus begins with the --device prefix, and
// which ones were found instead.
void ReportNoMatchingDevice(const ConsoleDeviceList& devices, const std::string& prefix,
                            TerminalScreen& screen);
