#pragma once

// The bench file named by TQ4800_SIM: a text file of lines "key value", "#" starting a
// comment. Each "instrument SERIAL" line adds an instrument, set up like the default
// bench's; the lines after it change that instrument:
//   mode normal|loader          the firmware running at start
//   model TEXT                  the model in its identity (TQ4800)
//   main X.YY | writer L | fpga1 NN | fpga2 NN | fpga3 NN | http X.YY    revisions
//   reboot-ms N                 time off the bus when switching to the loader
//   flash-line-ms N             delay before each erase, program and result line
//   leave-after-searches N      leaves the bus once N searches have listed it
//   fault KIND [command=C] [segment=N] [count=N] [reply=TEXT]
// Fault kinds: no-reply, wrong-reply, fail-write, erase-ng, program-ng, latest,
// corrupt-byte, unplug-after, checksum-unsigned. C is a command code or one of reset,
// load, load-done, set-type, set-length, checksum, program, idn, data, any. reply= takes
// the rest of the line. count is the data byte for fail-write on data and corrupt-byte,
// and the number of data bytes before unplug-after. A file without instruments is an
// empty bus.

#include "sim/Config.h"

#include <istream>
#include <string>

namespace sim {

// False with "line N: reason" in error when a line cannot be read.
bool ParseBench(std::istream& in, BenchConfig& config, std::string& error);

// False with "PATH: reason" or "PATH line N: reason" in error.
bool LoadBenchFile(const std::string& path, BenchConfig& config, std::string& error);

} // namespace sim
