// The sick devices among the usb fuzzer's seeds, each of which once held a VISA call of the
// update for minutes, replayed on the virtual clock with a few more: every call ends within
// its bound, the slow ones not before 2 s, the quick ones within the clean-up's 2 s.

#include "fuzz/UsbScript.h"

#include <gtest/gtest.h>

namespace {

using usbfuzz::Stream;

// A reply that is no DEV_DEP_MSG_IN, long before the read's time-out; the abort is accepted
// and its status answered "pending" 999 ms late each time: the clean-up's 2 s count from
// the refused reply, not from each poll nor from the read's time-out.
usbfuzz::Bytes PendingAbortOfARefusedReply() {
    usbfuzz::ScriptWriter script;
    script.Add(Stream::BulkIns, {0, 0, {0x7F, 1, 0xFE, 0, 1, 0, 0, 0, 1, 0, 0, 0, 'x', 0, 0, 0}})
        .Add(Stream::Controls, {0, 0, {0x01, 0x01}})
        .Add(Stream::Controls, {usbfuzz::kRepeat, 999, {0x02, 0x00, 0, 0, 0, 0, 0, 0}});
    return script.Script();
}

// The instrument, and twelve more whose serial numbers never answer: the search of each open
// stops reading them when the open's time runs out.
usbfuzz::Bytes RackOfSilentSerialNumbers() {
    usbfuzz::ScriptWriter script;
    script.Add(Stream::Devices, {0, 0, {'T', 'W', '0', '0', '0', '1', '2', '3', '4', '5'}})
        .Add(Stream::Strings, {0, 0, {}})
        .Add(Stream::Strings, {usbfuzz::kRepeat | usbfuzz::kTimeout, 0});
    for (int i = 0; i < 12; ++i)
        script.Add(Stream::Devices, {0, 0, {'T', 'W', static_cast<std::uint8_t>('A' + i)}});
    return script.Script();
}

TEST(SickUsbDevice, EveryCallEndsWithinItsBound) {
    auto scripts = usbfuzz::SeedScripts();
    scripts.emplace_back("quick-pending-abort-of-a-refused-reply", PendingAbortOfARefusedReply());
    scripts.emplace_back("slow-rack-of-silent-serial-numbers", RackOfSilentSerialNumbers());
    for (const auto& [name, script] : scripts) {
        const usbfuzz::RunReport report = usbfuzz::RunScript(script.data(), script.size());
        EXPECT_EQ("", report.fault) << name;
        EXPECT_LE(report.longestMs, report.boundMs) << name << ": " << report.longestCall;
        // A quick one within the clean-up's 2 s; a slow one slow to some effect.
        const bool slow = name.starts_with("slow-");
        if (slow || name.starts_with("quick-")) {
            EXPECT_EQ(slow, report.longestMs >= 2000u) << name << ": " << report.longestMs;
        }
    }
}

} // namespace
