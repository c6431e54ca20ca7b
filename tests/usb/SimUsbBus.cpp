#include "tests/usb/SimUsbBus.h"

#include "link/visa/ResourceName.h"
#include "link/visa/SimBackend.h"
#include "sim/Bench.h"

namespace usbtest {

SimUsbBus::SimUsbBus(std::shared_ptr<sim::Bench> bench)
    : bench_(bench), instruments_(visa::MakeSimProvider(bench)) {}

SimUsbBus::~SimUsbBus() = default;

SimUsbBus::Attached* SimUsbBus::Attach(const std::string& name) {
    visa::UsbResourceName parsed;
    if (!visa::ParseResourceName(name, parsed))
        return nullptr;
    sim::Instrument* instrument = bench_->Find(parsed.serial);
    if (instrument == nullptr)
        return nullptr;
    const std::uint64_t boot = instrument->Boot();
    for (const auto& attached : attached_)
        if (attached->instrument == instrument && attached->boot == boot)
            return attached.get();

    auto attached = std::make_unique<Attached>();
    attached->instrument = instrument;
    attached->boot = boot;
    attached->address = nextAddress_++;
    if (instruments_->Open(name, 1000, attached->wire) != VI_SUCCESS)
        return nullptr;
    DeviceSetup setup;
    setup.serial = parsed.serial;
    attached->device = std::make_unique<UsbtmcTestDevice>(*attached->wire, setup);
    attached->device->present = [instrument, boot] {
        return instrument->Present() && instrument->Boot() == boot;
    };
    attached_.push_back(std::move(attached));
    return attached_.back().get();
}

visa::UsbResult SimUsbBus::Enumerate(std::vector<visa::UsbDeviceInfo>& devices) {
    devices.clear();
    for (const std::string& name : bench_->PresentNames())
        if (Attached* attached = Attach(name))
            devices.push_back(attached->device->Info(attached->address));
    return visa::UsbResult::Ok;
}

visa::UsbResult SimUsbBus::Open(const visa::UsbDeviceInfo& device,
                                std::unique_ptr<visa::UsbDeviceHandle>& handle) {
    for (const auto& attached : attached_) {
        if (attached->address != device.address)
            continue;
        if (!attached->device->Plugged())
            return visa::UsbResult::NoDevice;
        handle = OpenHandle(*attached->device);
        return visa::UsbResult::Ok;
    }
    return visa::UsbResult::NoDevice;
}

std::vector<UsbtmcTestDevice*> SimUsbBus::Devices() const {
    std::vector<UsbtmcTestDevice*> devices;
    for (const auto& attached : attached_)
        devices.push_back(attached->device.get());
    return devices;
}

} // namespace usbtest
