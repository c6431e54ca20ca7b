// Whole updates through the usb backend, the simulated instrument behind an in-process
// USBTMC device: what the operator sees, what reaches the instrument and what ends up in
// its flash must be what the sim backend gives, also when the update fails.

#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/SimBackend.h"
#include "link/visa/UsbBackend.h"
#include "sim/Bench.h"
#include "tests/usb/SimUsbBus.h"
#include "tests/visa/UpdateScenario.h"

#include <gtest/gtest.h>
#include <map>
#include <sstream>

namespace {

struct UpdateRun {
    UpdateRecord update;
    std::vector<std::string> wire;
    std::map<int, std::vector<std::uint8_t>> flash;
    std::string diagnostics;
    std::vector<usbtest::UsbtmcTestDevice*> devices;
};

enum class Path { Sim, Usb };

class UpdateOverUsb : public ::testing::Test {
protected:
    UpdateRun Update(Path path, const sim::BenchConfig& config) {
        FakeClock clock;
        auto bench = std::make_shared<sim::Bench>(config, clock);
        auto bus = std::make_shared<usbtest::SimUsbBus>(bench);
        buses.push_back(bus); // its devices stay inspectable
        std::ostringstream diagnostics;
        if (path == Path::Sim)
            visa::InstallBackend(visa::MakeSimBackend(bench));
        else
            visa::InstallBackend(std::make_unique<visa::ResourceBackend>(
                std::make_unique<visa::UsbBackend>(bus, diagnostics)));
        UpdateRun run;
        run.update = PressUpdate(image, clock);
        visa::InstallBackend(nullptr);
        run.wire = WireTraffic(bench->Trace().Lines());
        for (int type : {3, 4, 6, 14, 8})
            if (const auto* flash = bench->At(0).GetLoader().Flash(static_cast<std::uint8_t>(type)))
                run.flash[type] = *flash;
        run.diagnostics = diagnostics.str();
        run.devices = bus->Devices();
        return run;
    }

    void ExpectSameAsSim(const sim::BenchConfig& config, UpdateRun& usb) {
        const UpdateRun sim = Update(Path::Sim, config);
        usb = Update(Path::Usb, config);
        EXPECT_EQ(sim.update.outcome.status, usb.update.outcome.status);
        EXPECT_EQ(sim.update.log, usb.update.log);
        ASSERT_EQ(sim.update.boxes.size(), usb.update.boxes.size());
        for (std::size_t i = 0; i < sim.update.boxes.size(); ++i)
            EXPECT_EQ(sim.update.boxes[i].text, usb.update.boxes[i].text);
        EXPECT_EQ(sim.wire, usb.wire);
        EXPECT_EQ(sim.flash, usb.flash);
        for (const usbtest::UsbtmcTestDevice* device : usb.devices)
            EXPECT_TRUE(device->violations.empty()) << device->violations.front();
    }

    static sim::BenchConfig WithFault(sim::Fault fault) {
        sim::BenchConfig config = sim::DefaultBench();
        config.instruments[0].faults.push_back(fault);
        return config;
    }

    ImageInfo image = SmallFirmwareImage();
    std::vector<std::shared_ptr<usbtest::SimUsbBus>> buses;
};

TEST_F(UpdateOverUsb, CompleteUpdateGivesTheSameLogAndFlash) {
    UpdateRun usb;
    ExpectSameAsSim(sim::DefaultBench(), usb);
    EXPECT_EQ(STATUS_COMPLETE, usb.update.outcome.status);
    EXPECT_EQ(5u, usb.flash.size()) << "all five regions programmed";
    EXPECT_EQ("", usb.diagnostics);
    ASSERT_EQ(2u, usb.devices.size()) << "the loader comes back as a new device";
    const usbtest::UsbtmcTestDevice& loader = *usb.devices[1];
    EXPECT_EQ(1, loader.claims) << "one claimed interface for all sessions of the update";
    EXPECT_FALSE(loader.claimed);
    EXPECT_TRUE(loader.kernelDriverBound) << "the kernel's driver has its interface back";
}

TEST_F(UpdateOverUsb, UnplugDuringTheDataGivesTheSameFailure) {
    sim::Fault unplug;
    unplug.kind = sim::FaultKind::UnplugAfterData;
    unplug.segment = 4;
    unplug.count = 1000;
    UpdateRun usb;
    ExpectSameAsSim(WithFault(unplug), usb);
    EXPECT_NE(STATUS_COMPLETE, usb.update.outcome.status) << usb.update.log;
    EXPECT_EQ("usb backend: USB0::0x1D7A::0x52C1::TW00012345::INSTR has left the USB bus\n",
              usb.diagnostics);
}

TEST_F(UpdateOverUsb, ReplyThatNeverComesTimesOutAbortsAndFailsTheSameWay) {
    sim::Fault silent;
    silent.kind = sim::FaultKind::NoReply;
    silent.command = sim::ANY_COMMAND;
    silent.segment = 3;
    UpdateRun usb;
    ExpectSameAsSim(WithFault(silent), usb);
    EXPECT_NE(STATUS_COMPLETE, usb.update.outcome.status) << usb.update.log;
    int aborts = 0;
    for (const usbtest::UsbtmcTestDevice* device : usb.devices)
        for (const usbtest::Exchange& exchange : device->ControlTraffic())
            aborts += exchange.kind == usbtest::Exchange::Control && exchange.request == 3;
    EXPECT_EQ(1, aborts) << "the timed-out read is aborted with INITIATE_ABORT_BULK_IN";
}

TEST(UpdateOverUsbWithoutPermission, FindsNoInstrumentAndSaysWhy) {
    usbtest::ScriptedInstrument instrument;
    usbtest::UsbtmcTestDevice device(instrument);
    device.permissionDenied = true;
    auto bus = std::make_shared<usbtest::TestUsbBus>();
    bus->Add(device);
    std::ostringstream diagnostics;
    visa::InstallBackend(std::make_unique<visa::ResourceBackend>(
        std::make_unique<visa::UsbBackend>(bus, diagnostics)));
    FakeClock clock;
    const UpdateRecord record = PressUpdate(SmallFirmwareImage(), clock);
    visa::InstallBackend(nullptr);

    EXPECT_FALSE(record.outcome.instrumentFound);
    ASSERT_EQ(1u, record.boxes.size());
    EXPECT_EQ("No instrument found.", record.boxes[0].text);
    const std::string said = diagnostics.str();
    EXPECT_EQ(0u, said.find("usb backend: the serial number of USB device 1d7a:52c1 on bus 1, "
                            "address 1 cannot be read: no permission to open it; install the "
                            "udev rule 60-tq4800.rules"))
        << said;
    EXPECT_NE(std::string::npos, said.find("plugdev")) << said;
    EXPECT_TRUE(instrument.received.empty());
}

} // namespace
