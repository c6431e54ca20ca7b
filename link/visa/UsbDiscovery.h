#pragma once

// Which USBTMC interfaces are on the bus, under which resource names. A device's serial
// number is read once while it stays at its bus address (one that left and came back has a
// new address and is read again), each read limited to 1 s; a search for one resource reads
// only the devices with its vendor and product ids. So a rack of N instruments, each
// searched and opened by its own thread, costs O(N) serial-number reads, not O(N^2). Safe to
// use from several threads.

#include "link/visa/ResourceName.h"
#include "link/visa/UsbDiagnostics.h"
#include "link/visa/UsbTransport.h"
#include "link/visa/UsbtmcLink.h"
#include "link/visa/visa.h"
#include "seams/Clock.h"

#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <tuple>
#include <vector>

namespace visa {

inline constexpr unsigned kSerialReadMs = 1000;

struct UsbResource {
    std::string name;
    std::string serial;
    UsbDeviceInfo device;
    UsbtmcEndpoints endpoints;
};

// "USB device 1d7a:52c1 on bus 1, address 5", for messages.
std::string Describe(const UsbDeviceInfo& device);
// What the operator must do to be allowed to open the device.
std::string UdevHint(const UsbDeviceInfo& device);

class UsbDiscovery {
public:
    UsbDiscovery(UsbTransport& transport, UsbDiagnostics& diagnostics, Clock& clock);

    // Every resource on the bus, or (with wanted) those of wanted's vendor and product ids.
    // Serial numbers are read until readsEndMs on the clock at the latest.
    ViStatus Find(std::vector<UsbResource>& resources, const UsbResourceName* wanted = nullptr,
                  std::uint64_t readsEndMs = UINT64_MAX);

private:
    using Key = std::tuple<std::uint8_t, std::uint8_t, std::uint16_t, std::uint16_t>;

    void AddResources(const UsbDeviceInfo& device, std::uint64_t readsEndMs,
                      std::vector<UsbResource>& resources);
    bool Serial(const UsbDeviceInfo& device, std::uint64_t readsEndMs, std::string& serial);
    bool ReadSerial(const UsbDeviceInfo& device, unsigned timeoutMs, std::string& serial);
    void Forget(const std::vector<UsbDeviceInfo>& present);

    UsbTransport& transport_;
    UsbDiagnostics& diagnostics_;
    Clock& clock_;
    std::mutex cacheMutex_; // guards serials_
    std::map<Key, std::string> serials_;
};

} // namespace visa
