#pragma once

// A sick or hostile USB bus for the usb backend: every answer of its devices (the device
// list, serial numbers, control replies, Bulk-IN data, time-outs, stalls, short writes,
// disappearance) and how long each takes on a virtual clock come from a script of bytes. The
// VISA calls of an update are made against it in the update's order, and every fault of
// ours is reported: a call longer than its bound, a Bulk-OUT transfer that is not
// well-formed USBTMC, a listed name that opens another device, a count above the caller's
// limit. The fuzz target runs any bytes as such a script; the tests replay the sick
// devices that once held a call for minutes.
//
// A script is a run of records: stream, outcome, delay (2 bytes, little-endian, in ms),
// length, then length bytes of data. Each stream's records answer its calls in turn; from
// the first record flagged kRepeat on, the rest of the stream is answered over and over.
// A stream without records (or played out) gives a sound device's answer.

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

namespace usbfuzz {

using Bytes = std::vector<std::uint8_t>;

enum class Stream : std::uint8_t {
    Devices,    // one record per device: outcome bits kOtherIds, kNoSerial; data its serial
    Strings,    // serial-number reads: data a whole string descriptor, or none for the serial
    Controls,   // control requests: data the reply
    BulkOuts,   // Bulk-OUT transfers: data[0], when given, the bytes taken
    BulkIns,    // Bulk-IN transfers: data the bytes sent
    ClearHalts, // clearing a halt
    Opens,      // opening a device and claiming its interface
    Count,
};

// Outcome: the low 3 bits are the result (0 done, 1 time-out, 2 stall, 3 gone, 4 no
// permission, 5 busy, 6 error, 7 done), then flags.
inline constexpr std::uint8_t kResultMask = 0x07;
inline constexpr std::uint8_t kTimeout = 1, kStall = 2, kGone = 3;
inline constexpr std::uint8_t kFramed = 0x08; // Bulk-IN: a DEV_DEP_MSG_IN header for the
                                              // request in progress goes before the data
inline constexpr std::uint8_t kEom = 0x10;    // ... with EOM set
inline constexpr std::uint8_t kFill = 0x20;   // Bulk-IN: the whole buffer, filled with data
inline constexpr std::uint8_t kRepeat = 0x40;
inline constexpr std::uint8_t kOtherIds = 0x01, kNoSerial = 0x02, kSmallPackets = 0x04;

struct Answer {
    std::uint8_t outcome = 0;
    std::uint16_t delayMs = 0;
    Bytes data = {};
};

class ScriptWriter {
public:
    ScriptWriter& Add(Stream stream, const Answer& answer);
    const Bytes& Script() const { return script_; }

private:
    Bytes script_;
};

struct RunReport {
    std::string fault;       // the first fault found; empty when none
    std::string longestCall; // the call that came nearest its bound
    std::uint64_t longestMs = 0;
    std::uint64_t boundMs = 0;
};

RunReport RunScript(const std::uint8_t* data, std::size_t size);

// Sound and sick devices the fuzzer starts from, named: among them the devices that once
// held a call for minutes (the names beginning "slow-").
std::vector<std::pair<std::string, Bytes>> SeedScripts();

} // namespace usbfuzz
