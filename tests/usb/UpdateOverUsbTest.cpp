// Whole updates through the usb backend, the simulated instrument behind an in-process
// USBTMC device: what the operator sees, what reaches the instrument and what ends up in
// its flash must be what the sim backend gives.

#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/ResourceName.h"
#include "link/visa/UsbBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "tests/usb/UsbtmcTestDevice.h"
#include "tests/visa/UpdateScenario.h"

#include <gtest/gtest.h>
#include <map>
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

struct UpdateRun {
    UpdateRecord update;
    std::vector<std::string> wire;
    std::map<int, std::vector<std::uint8_t>> flash;
    std::string diagnostics;
    std::vector<UsbtmcTestDevice*> devices;
};

class UpdateOverUsb : public ::testing::Test {
protected:
    UpdateRun Update(bool overUsb) {
        FakeClock clock;
        auto bench = std::make_shared<sim::Bench>(sim::DefaultBench(), clock);
        auto bus = std::make_shared<SimUsbBus>(bench);
        buses.push_back(bus); // its devices stay inspectable
        std::ostringstream diagnostics;
        visa::InstallBackend(overUsb
                                 ? std::make_unique<visa::ResourceBackend>(
                                       std::make_unique<visa::UsbBackend>(bus, diagnostics, clock))
                                 : visa::MakeSimBackend(bench));
        UpdateRun run;
        run.update = PressUpdate(image, clock);
        visa::InstallBackend(nullptr);
        run.wire = WireTraffic(bench->Trace().Lines());
        for (int type : {3, 4, 6, 14, 8})
            if (const auto* flash = bench->At(0).GetLoader().Flash(static_cast<std::uint8_t>(type)))
                run.flash[type] = *flash;
        run.diagnostics = diagnostics.str();
        run.devices = bus->devices;
        return run;
    }

    UpdateRun ExpectSameAsSim() {
        const UpdateRun sim = Update(false);
        UpdateRun usb = Update(true);
        EXPECT_EQ(sim.update.outcome.status, usb.update.outcome.status);
        EXPECT_EQ(sim.update.log, usb.update.log);
        EXPECT_EQ(BoxTexts(sim.update), BoxTexts(usb.update));
        EXPECT_EQ(sim.wire, usb.wire);
        EXPECT_EQ(sim.flash, usb.flash);
        for (const UsbtmcTestDevice* device : usb.devices)
            EXPECT_EQ(std::vector<std::string>{}, device->violations);
        return usb;
    }

    static std::vector<std::string> BoxTexts(const UpdateRecord& update) {
        std::vector<std::string> texts;
        for (const auto& box : update.boxes)
            texts.push_back(box.text);
        return texts;
    }
    ImageInfo image = SmallFirmwareImage();
    std::vector<std::shared_ptr<SimUsbBus>> buses;
};

// The kernel's driver has its interface back at the end.
TEST_F(UpdateOverUsb, CompleteUpdateGivesTheSameLogAndFlash) {
    const UpdateRun usb = ExpectSameAsSim();
    EXPECT_EQ(STATUS_COMPLETE, usb.update.outcome.status);
    EXPECT_EQ("", usb.diagnostics);
    EXPECT_FALSE(usb.devices.back()->claimed);
    EXPECT_TRUE(usb.devices.back()->kernelDriverBound);
}

} // namespace
