#pragma once

// The instruments of a simulated bench on an in-process USB bus, each behind a USBTMC
// device. An instrument that reboots leaves the bus and comes back as a new device at a new
// address, as a real one does.

#include "link/visa/Connection.h"
#include "link/visa/UsbTransport.h"
#include "tests/usb/UsbtmcTestDevice.h"

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace sim {
class Bench;
class Instrument;
} // namespace sim

namespace usbtest {

class SimUsbBus final : public visa::UsbTransport {
public:
    explicit SimUsbBus(std::shared_ptr<sim::Bench> bench);
    ~SimUsbBus() override;

    visa::UsbResult Enumerate(std::vector<visa::UsbDeviceInfo>& devices) override;
    visa::UsbResult Open(const visa::UsbDeviceInfo& device,
                         std::unique_ptr<visa::UsbDeviceHandle>& handle) override;

    // Every device that has been on the bus, in the order they appeared.
    std::vector<UsbtmcTestDevice*> Devices() const;

private:
    struct Attached {
        sim::Instrument* instrument;
        std::uint64_t boot;
        std::uint8_t address;
        std::unique_ptr<visa::Connection> wire; // the device's own session to the instrument
        std::unique_ptr<UsbtmcTestDevice> device;
    };
    Attached* Attach(const std::string& name);

    std::shared_ptr<sim::Bench> bench_;
    std::unique_ptr<visa::ResourceProvider> instruments_;
    std::vector<std::unique_ptr<Attached>> attached_;
    std::uint8_t nextAddress_ = 1;
};

} // namespace usbtest
