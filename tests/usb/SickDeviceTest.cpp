// The sick devices among the usb fuzzer's seeds, each of which once held a VISA call of the
// update for minutes, replayed on the virtual clock: every call ends within its bound.

#include "fuzz/UsbScript.h"

#include <gtest/gtest.h>

namespace {

TEST(SickUsbDevice, EveryCallEndsWithinItsBound) {
    for (const auto& [name, script] : usbfuzz::SeedScripts()) {
        const usbfuzz::RunReport report = usbfuzz::RunScript(script.data(), script.size());
        EXPECT_EQ("", report.fault) << name;
        EXPECT_LE(report.longestMs, report.boundMs) << name << ": " << report.longestCall;
        if (name.starts_with("slow-")) {
            EXPECT_GE(report.longestMs, 2000u) << name << ": the device was slow to no effect";
        }
    }
}

} // namespace
