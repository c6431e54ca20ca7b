#pragma once

#include "tools/tq4800-flash/FlashOptions.h"
#include "tools/tq4800-flash/FleetReport.h"

#include <string>
#include <vector>

// The instruments an update is for, from the names one search found and before anything is
// touched: every one found (--all), the one each --device names in the order given, or with
// neither the first found. A --device names an instrument by its serial number (exact, any
// case) or by the beginning of its resource name (any case) when that begins one name only or
// equals one. No resource name may be chosen twice: two instruments with one serial number
// share a name, and opening it would reach only one of them.
// 0 with the names chosen, else the exit code (EXIT_UNAVAILABLE, EXIT_USAGE) with the reason,
// unescaped: the printer makes it printable.
int ChooseInstruments(const FlashOptions& options, const std::vector<std::string>& found,
                      std::vector<std::string>& chosen, std::string& error);

// Searches the bus and chooses from what it found: 0 with the members, else the exit code.
int ChooseFleet(const FlashOptions& options, std::vector<FleetInstrument>& members,
                std::string& error);

// The instruments on the bus, as the update's own search lists them.
std::vector<std::string> SearchInstruments();
