// The instrument session through the usb backend, with the simulated instrument behind an
// in-process USBTMC device: the same messages must reach it as through the sim backend.

#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/UsbBackend.h"
#include "sim/Bench.h"
#include "sim/BenchFixture.h"
#include "tests/usb/SimUsbBus.h"
#include "tests/visa/SessionScenario.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(SessionOverUsb, SameMessagesAsThroughTheSimBackend) {
    std::vector<std::string> direct;
    {
        SimulatedBench bench;
        ConnectIdentifySwitchReconnect(bench.clock);
        direct = WireTraffic(bench.Trace());
    }

    FakeClock clock;
    auto bench = std::make_shared<sim::Bench>(sim::DefaultBench(), clock);
    auto bus = std::make_shared<usbtest::SimUsbBus>(bench);
    std::ostringstream diagnostics;
    visa::InstallBackend(std::make_unique<visa::ResourceBackend>(
        std::make_unique<visa::UsbBackend>(bus, diagnostics)));
    ConnectIdentifySwitchReconnect(clock);
    visa::InstallBackend(nullptr);

    EXPECT_EQ(direct, WireTraffic(bench->Trace().Lines()));
    EXPECT_EQ("", diagnostics.str());
    const auto devices = bus->Devices();
    ASSERT_EQ(2u, devices.size()) << "the loader comes back as a new device";
    for (const usbtest::UsbtmcTestDevice* device : devices)
        EXPECT_TRUE(device->violations.empty()) << device->violations.front();
    // The loader's interface was claimed once and handed back to the kernel's driver.
    EXPECT_EQ(1, devices[1]->claims);
    EXPECT_FALSE(devices[1]->claimed);
    EXPECT_TRUE(devices[1]->kernelDriverBound);
}

} // namespace
