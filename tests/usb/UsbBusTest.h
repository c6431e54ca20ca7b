#pragma once

// The usb backend on an in-process bus of test devices, on a virtual clock. Every framing
// fault a device noted fails the test.

#include "link/visa/UsbBackend.h"
#include "tests/fakes/Fakes.h"
#include "tests/usb/UsbtmcTestDevice.h"

#include <gtest/gtest.h>
#include <memory>
#include <sstream>

namespace usbtest {

inline constexpr const char* kName = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";

class UsbBusTest : public ::testing::Test {
protected:
    // A device at the next address, behind instrument unless another is given.
    UsbtmcTestDevice& Add(const DeviceSetup& setup = {}, visa::Connection* behind = nullptr) {
        devices.push_back(
            std::make_unique<UsbtmcTestDevice>(behind ? *behind : instrument, setup, clock));
        bus->devices.push_back(devices.back().get());
        return *devices.back();
    }
    void TearDown() override {
        for (const auto& device : devices)
            EXPECT_EQ(std::vector<std::string>{}, device->violations) << device->setup.serial;
    }

    FakeClock clock;
    ScriptedInstrument instrument;
    std::vector<std::unique_ptr<UsbtmcTestDevice>> devices;
    std::shared_ptr<TestUsbBus> bus = std::make_shared<TestUsbBus>();
    std::ostringstream diagnostics;
    visa::UsbBackend backend{bus, diagnostics, clock};
};

} // namespace usbtest
