// The sound and sick devices the usb backend's fuzzer starts from.

#include "fuzz/UsbScript.h"

#include <cstring>

namespace usbfuzz {
namespace {

Bytes Text(const char* text) {
    return Bytes(text, text + std::strlen(text));
}

// Answers the update's three reads: the identity, a loader frame's "OK", the loader's
// identity after the switch.
ScriptWriter SoundDevice() {
    ScriptWriter script;
    script.Add(Stream::Devices, {0, 0, Text("TW00012345")})
        .Add(Stream::BulkIns, {kFramed | kEom, 3, Text("SIMULATED,TQ4800,TW00012345\n")})
        .Add(Stream::BulkIns, {kFramed | kEom, 3, Text("OK\n")})
        .Add(Stream::BulkIns,
             {kFramed | kEom, 3, Text("WRITER,TQ4800,TW00012345,1.05  A  01 01 01 1.05")});
    return script;
}

Bytes StringDescriptor(const char* text) {
    Bytes descriptor = {static_cast<std::uint8_t>(2 + 2 * std::strlen(text)), 3};
    for (const char* c = text; *c; ++c)
        descriptor.insert(descriptor.end(), {static_cast<std::uint8_t>(*c), 0});
    return descriptor;
}

// The read request is taken and never answered; the abort is accepted, every drain read
// comes back full and every CHECK_ABORT_BULK_IN_STATUS says "pending, read Bulk-IN first".
Bytes NeverEndingDrain() {
    ScriptWriter script;
    script.Add(Stream::BulkIns, {kTimeout})
        .Add(Stream::BulkIns, {kFill | kRepeat, 99, Text("stale")})
        .Add(Stream::Controls, {0, 0, {0x01, 0x02}})
        .Add(Stream::Controls, {kRepeat, 0, {0x02, 0x01, 0, 0, 0, 0, 0, 0}});
    return script.Script();
}

// The same, with the status "pending" answered 999 ms late each time, and nothing to drain.
Bytes SlowPendingReadAbort() {
    ScriptWriter script;
    script.Add(Stream::BulkIns, {kTimeout})
        .Add(Stream::Controls, {0, 0, {0x01, 0x02}})
        .Add(Stream::Controls, {kRepeat, 999, {0x02, 0x00, 0, 0, 0, 0, 0, 0}});
    return script.Script();
}

// Bulk-OUT times out; INITIATE_ABORT_BULK_OUT is accepted and its status stays pending.
Bytes SlowPendingWriteAbort() {
    ScriptWriter script;
    script.Add(Stream::BulkOuts, {kTimeout})
        .Add(Stream::Controls, {0, 0, {0x01, 0x01}})
        .Add(Stream::Controls, {kRepeat, 999, {0x02, 0x00, 0, 0, 0, 0, 0, 0}});
    return script.Script();
}

// A reply of 1-byte transfers without EOM, each filling a 16-byte packet exactly and never
// followed by the short packet the host waits 50 ms for.
Bytes OneByteTransfers() {
    ScriptWriter script;
    script.Add(Stream::Devices, {kSmallPackets, 0, Text("TW00012345")})
        .Add(Stream::BulkIns, {kFramed | kRepeat, 0, Text("x")})
        .Add(Stream::BulkIns, {kTimeout});
    return script.Script();
}

// Three instruments whose serial numbers answer after 1999 ms: two control transfers, each
// just within libusb's own 1 s.
Bytes SlowSerialNumbers() {
    ScriptWriter script;
    for (const char* serial : {"TW00000001", "TW00000002", "TW00000003"})
        script.Add(Stream::Devices, {0, 0, Text(serial)});
    script.Add(Stream::Strings, {kRepeat, 1999});
    return script.Script();
}

} // namespace

std::vector<std::pair<std::string, Bytes>> SeedScripts() {
    ScriptWriter gone = SoundDevice();
    gone.Add(Stream::BulkIns, {kGone});
    ScriptWriter stalls = SoundDevice();
    stalls.Add(Stream::BulkOuts, {kStall}).Add(Stream::ClearHalts, {kTimeout});
    ScriptWriter odd = SoundDevice();
    odd.Add(Stream::Strings, {0, 0, StringDescriptor("TW\x1b[2J::0")});
    return {
        {"sound", SoundDevice().Script()},
        {"gone-mid-reply", gone.Script()},
        {"stalls", stalls.Script()},
        {"escape-serial", odd.Script()},
        {"slow-never-ending-drain", NeverEndingDrain()},
        {"slow-pending-read-abort", SlowPendingReadAbort()},
        {"slow-pending-write-abort", SlowPendingWriteAbort()},
        {"slow-one-byte-transfers", OneByteTransfers()},
        {"slow-serial-numbers", SlowSerialNumbers()},
    };
}

} // namespace usbfuzz
