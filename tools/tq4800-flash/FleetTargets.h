#pragma once

#include "tools/tq4800-flash/FlashOptions.h"
#include "tools/tq4800-flash/FleetReport.h"

#include <string>
#include <vector>

// The instruments an update of several (or, with --json, of one) is for, from one search
// and before anything is touched: every one found (--all), each named by a --device prefix
// in the order given, or the one a single update would take. 0 with the members, else the
// exit code (EXIT_UNAVAILABLE, EXIT_USAGE) with a one-line reason in error.
int ChooseFleet(const FlashOptions& options, std::vector<FleetInstrument>& members,
                std::string& error);
