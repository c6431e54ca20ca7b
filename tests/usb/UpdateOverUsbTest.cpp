// Whole updates through the usb backend, the simulated instrument behind an in-process
// USBTMC device: the log and every byte that reaches the instrument and comes back must be
// what the sim backend gives.

#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/ResourceName.h"
#include "link/visa/UsbBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "tests/usb/UsbtmcTestDevice.h"
#include "tests/visa/UpdateScenario.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

using usbtest::UsbtmcTestDevice;

// The bench's instruments on the in-process bus, each behind a USBTMC device of its own. An
// instrument that reboots leaves the bus and comes back as a new device at a new address,
// as a real one does.
class SimUsbBus final : public usbtest::TestUsbBus {
public:
    explicit SimUsbBus(std::shared_ptr<sim::Bench> bench)
        : bench_(bench), instruments_(visa::MakeSimProvider(bench)) {}

    visa::UsbResult Enumerate(std::vector<visa::UsbDeviceInfo>& found) override {
        for (const std::string& name : bench_->PresentNames())
            Attach(name);
        return TestUsbBus::Enumerate(found);
    }

private:
    void Attach(const std::string& name) {
        visa::UsbResourceName parsed;
        visa::ParseResourceName(name, parsed);
        for (const UsbtmcTestDevice* device : devices)
            if (device->setup.serial == parsed.serial && device->Plugged())
                return;
        sim::Instrument* instrument = bench_->Find(parsed.serial);
        std::unique_ptr<visa::Connection>& wire = wires_.emplace_back();
        ASSERT_EQ(VI_SUCCESS, instruments_->Open(name, 1000, wire));
        owned_.push_back(std::make_unique<UsbtmcTestDevice>(
            *wire, usbtest::DeviceSetup{.serial = parsed.serial}, bench_->GetClock()));
        owned_.back()->present = [instrument, boot = instrument->Boot()] {
            return instrument->Present() && instrument->Boot() == boot;
        };
        devices.push_back(owned_.back().get());
    }

    std::shared_ptr<sim::Bench> bench_;
    std::unique_ptr<visa::ResourceProvider> instruments_;
    std::vector<std::unique_ptr<visa::Connection>> wires_; // the devices' own sessions
    std::vector<std::unique_ptr<UsbtmcTestDevice>> owned_;
};

// One update of the small firmware file on the simulated bench, through the sim backend or
// over USB.
struct UpdateRun {
    explicit UpdateRun(bool overUsb) {
        FakeClock clock;
        auto bench = std::make_shared<sim::Bench>(sim::DefaultBench(), clock);
        auto bus = std::make_shared<SimUsbBus>(bench);
        std::ostringstream notes;
        visa::InstallBackend(overUsb ? std::make_unique<visa::ResourceBackend>(
                                           std::make_unique<visa::UsbBackend>(bus, notes, clock))
                                     : visa::MakeSimBackend(bench));
        update = PressUpdate(SmallFirmwareImage(), clock);
        visa::InstallBackend(nullptr);
        wire = WireTraffic(bench->Trace().Lines());
        faults = notes.str();
        for (const UsbtmcTestDevice* device : bus->devices)
            for (const std::string& violation : device->violations)
                faults += violation + "\n";
    }

    UpdateRecord update;
    std::vector<std::string> wire;
    std::string faults; // the backend's diagnostics, then the framing faults the devices saw
};

TEST(UpdateOverUsb, CompleteUpdateGivesTheSameLogWireAndFlash) {
    const UpdateRun sim(false), usb(true);
    EXPECT_EQ(STATUS_COMPLETE, usb.update.outcome.status);
    EXPECT_EQ(sim.update.log, usb.update.log);
    EXPECT_EQ(sim.wire, usb.wire);
    EXPECT_EQ("", usb.faults);
}

} // namespace
