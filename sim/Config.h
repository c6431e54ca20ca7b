#pragma once

// How a simulated bench is set up: its instruments, their firmware state, their timing and
// the faults they are told to show.

#include <cstdint>
#include <string>
#include <vector>

namespace sim {

enum class Mode { Normal, Loader };

// The revisions an instrument reports, one per flash region it names in its identity.
struct Revisions {
    std::string main = "1.05"; // major character, separator, two minor digits
    char writer = 'A';
    std::string fpga1 = "01";
    std::string fpga2 = "01";
    std::string fpga3 = "01";
    std::string http = "1.05";
};

// What a fault is bound to: a loader command code (0 to 255), the identity query, the
// data bytes that follow a load, or any of them.
inline constexpr int ANY_COMMAND = -1;
inline constexpr int IDENTITY_QUERY = 256;
inline constexpr int DATA_WRITE = 257;

enum class FaultKind {
    NoReply,          // the reply of the command is never sent: the read times out
    WrongReply,       // the reply is replaced by `reply`
    FailWrite,        // the write carrying the command (or data byte `count`) fails
    EraseNg,          // programming answers "ERASE NG"
    ProgramNg,        // programming erases, then answers "PROGRAM NG"
    AlreadyLatest,    // programming answers "DATA IS THE LATEST UPDATE"
    CorruptByte,      // data byte `count` of the load arrives altered
    UnplugAfterData,  // the instrument leaves the bus after `count` data bytes
    ChecksumUnsigned, // the checksum is printed as an unsigned number
};

struct Fault {
    FaultKind kind = FaultKind::NoReply;
    int command = ANY_COMMAND;
    // The segment transfer it applies to: 1 for the first since the loader came up
    // (counted by reset commands), 0 for every one.
    int segment = 0;
    std::string reply;
    std::uint32_t count = 0;
};

// The demo pace: how long the loader takes for each erase and program line.
inline constexpr std::uint32_t DEMO_FLASH_LINE_MS = 30;

struct InstrumentConfig {
    std::string serial = "TW00012345";
    std::string model = "TQ4800";
    Mode mode = Mode::Normal;
    Revisions revisions;
    std::uint32_t rebootMs = 1500; // time off the bus while switching to the loader
    // After the reboot, the time until the loader is found on the bus again (USB enumeration:
    // about 400 ms on a real bus).
    std::uint32_t enumerateMs = 0;
    std::uint32_t flashLineMs = 0; // delay before each erase, program or result line
    // Leaves the bus once this many searches have listed it; 0: stays.
    std::uint32_t leaveAfterSearches = 0;
    std::vector<Fault> faults;
};

struct BenchConfig {
    std::vector<InstrumentConfig> instruments;
};

// One instrument TW00012345 in normal firmware, older than the demo firmware file, that
// reboots quickly and flashes at demo pace.
BenchConfig DefaultBench();

// The VISA resource name under which an instrument with this serial appears.
std::string ResourceNameOf(const std::string& serial);

// The 22-character revision field of the loader's identity reply.
std::string RevisionField(const Revisions& revisions);

} // namespace sim
