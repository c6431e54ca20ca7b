#include "link/visa/UsbDiscovery.h"

#include "link/visa/UsbtmcFraming.h"

#include <algorithm>
#include <cstdio>

namespace visa {
namespace {

// The instrument this utility serves; the udev rule installed with it covers these ids.
constexpr std::uint16_t kInstrumentVendorId = 0x1D7A;
constexpr std::uint16_t kInstrumentProductId = 0x52C1;

bool IsUsbtmc(const UsbInterface& interface) {
    return interface.interfaceClass == usbtmc::kInterfaceClass &&
           interface.subClass == usbtmc::kInterfaceSubClass;
}

bool FindBulkEndpoints(const UsbInterface& interface, UsbtmcEndpoints& endpoints) {
    endpoints = UsbtmcEndpoints{};
    endpoints.interfaceNumber = interface.number;
    for (const UsbEndpoint& endpoint : interface.endpoints) {
        if ((endpoint.attributes & kUsbTransferTypeMask) != kUsbTransferBulk)
            continue;
        if ((endpoint.address & kUsbEndpointIn) != 0 && endpoints.bulkIn == 0) {
            endpoints.bulkIn = endpoint.address;
            endpoints.bulkInPacketSize = endpoint.maxPacketSize;
        } else if ((endpoint.address & kUsbEndpointIn) == 0 && endpoints.bulkOut == 0) {
            endpoints.bulkOut = endpoint.address;
        }
    }
    return endpoints.bulkIn != 0 && endpoints.bulkOut != 0;
}

// A serial number becomes part of a resource name: control characters would reach the
// operator's terminal, and "::" would split the name into other fields.
bool FitsAName(const std::string& serial) {
    const bool control = std::any_of(serial.begin(), serial.end(), [](char c) {
        return static_cast<unsigned char>(c) < 0x20 || c == 0x7F;
    });
    return !control && serial.find("::") == std::string::npos;
}

bool Wanted(const UsbDeviceInfo& device, const UsbResourceName* wanted) {
    return !wanted ||
           (wanted->vendorId == device.vendorId && wanted->productId == device.productId);
}

} // namespace

std::string Describe(const UsbDeviceInfo& device) {
    char text[64];
    std::snprintf(text, sizeof text, "USB device %04x:%04x on bus %u, address %u", device.vendorId,
                  device.productId, unsigned{device.bus}, unsigned{device.address});
    return text;
}

std::string UdevHint(const UsbDeviceInfo& device) {
    if (device.vendorId == kInstrumentVendorId && device.productId == kInstrumentProductId)
        return "install the udev rule 60-tq4800.rules (the tq4800-update package does), add "
               "the user to the plugdev group, log in again and plug the instrument in again";
    return "a udev rule must give the user access to it (see 60-tq4800.rules for the "
           "instrument's own)";
}

UsbDiscovery::UsbDiscovery(UsbTransport& transport, UsbDiagnostics& diagnostics, Clock& clock)
    : transport_(transport), diagnostics_(diagnostics), clock_(clock) {}

ViStatus UsbDiscovery::Find(std::vector<UsbResource>& resources, const UsbResourceName* wanted,
                            std::uint64_t readsEndMs) {
    std::vector<UsbDeviceInfo> devices;
    if (transport_.Enumerate(devices) != UsbResult::Ok) {
        diagnostics_.Say("usb backend: cannot list the USB devices\n");
        return VI_ERROR_SYSTEM_ERROR;
    }
    Forget(devices);
    for (const UsbDeviceInfo& device : devices)
        if (Wanted(device, wanted))
            AddResources(device, readsEndMs, resources);
    return VI_SUCCESS;
}

void UsbDiscovery::AddResources(const UsbDeviceInfo& device, std::uint64_t readsEndMs,
                                std::vector<UsbResource>& resources) {
    std::string serial;
    bool serialRead = false;
    for (const UsbInterface& interface : device.interfaces) {
        if (!IsUsbtmc(interface))
            continue;
        UsbResource resource;
        if (!FindBulkEndpoints(interface, resource.endpoints)) {
            diagnostics_.Say("usb backend: ", Describe(device), " has a USBTMC interface ",
                             int{interface.number}, " without bulk endpoints; skipped\n");
            continue;
        }
        if (!serialRead && !Serial(device, readsEndMs, serial))
            return;
        serialRead = true;
        UsbResourceName name{0, device.vendorId, device.productId, serial, std::nullopt};
        if (interface.number != 0)
            name.interfaceNumber = interface.number;
        resource.name = CanonicalName(name);
        resource.serial = serial;
        resource.device = device;
        resources.push_back(std::move(resource));
    }
}

// The serial number from the cache, else read from the device and kept.
bool UsbDiscovery::Serial(const UsbDeviceInfo& device, std::uint64_t readsEndMs,
                          std::string& serial) {
    const Key key{device.bus, device.address, device.vendorId, device.productId};
    {
        const std::lock_guard lock(cacheMutex_);
        if (const auto found = serials_.find(key); found != serials_.end())
            serial = found->second;
    }
    if (serial.empty()) {
        const std::uint64_t now = clock_.NowMs();
        const std::uint64_t left = readsEndMs > now ? readsEndMs - now : 0;
        if (!ReadSerial(device, static_cast<unsigned>(std::min<std::uint64_t>(kSerialReadMs, left)),
                        serial))
            return false;
        const std::lock_guard lock(cacheMutex_);
        serials_[key] = serial;
    }
    if (FitsAName(serial))
        return true;
    diagnostics_.Say("usb backend: the serial number of ", Describe(device),
                     " holds control characters or \"::\" and cannot be part of a resource "
                     "name; skipped\n");
    return false;
}

bool UsbDiscovery::ReadSerial(const UsbDeviceInfo& device, unsigned timeoutMs,
                              std::string& serial) {
    if (device.serialIndex == 0) {
        diagnostics_.Say("usb backend: ", Describe(device),
                         " has no serial number and cannot be named; skipped\n");
        return false;
    }
    UsbResult result = timeoutMs == 0 ? UsbResult::Timeout : UsbResult::Ok;
    std::unique_ptr<UsbDeviceHandle> handle;
    if (result == UsbResult::Ok)
        result = transport_.Open(device, handle);
    if (result == UsbResult::Ok)
        result = handle->ReadStringDescriptor(device.serialIndex, serial, timeoutMs);
    if (result == UsbResult::NoPermission) {
        diagnostics_.Say("usb backend: the serial number of ", Describe(device),
                         " cannot be read: no permission to open it; ", UdevHint(device), "\n");
        return false;
    }
    if (result == UsbResult::Timeout) {
        diagnostics_.Say("usb backend: the serial number of ", Describe(device),
                         " did not answer within ", kSerialReadMs, " ms; skipped\n");
        return false;
    }
    if (result != UsbResult::Ok || serial.empty()) {
        // Gone between listing and opening, or not answering: nothing an operator can do.
        diagnostics_.Say("usb backend: the serial number of ", Describe(device),
                         " cannot be read; skipped\n");
        return false;
    }
    return true;
}

// A device no longer at its address is forgotten: the next device there is read afresh.
void UsbDiscovery::Forget(const std::vector<UsbDeviceInfo>& present) {
    const std::lock_guard lock(cacheMutex_);
    std::erase_if(serials_, [&](const auto& entry) {
        return std::none_of(present.begin(), present.end(), [&](const UsbDeviceInfo& device) {
            return entry.first ==
                   Key{device.bus, device.address, device.vendorId, device.productId};
        });
    });
}

} // namespace visa
