#include "link/visa/UsbBackend.h"

#include "link/visa/OpenRetry.h"
#include "link/visa/UsbtmcFraming.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>

namespace visa {
namespace {

// The instrument this utility serves; the udev rule installed with it covers these ids.
constexpr std::uint16_t kInstrumentVendorId = 0x1D7A;
constexpr std::uint16_t kInstrumentProductId = 0x52C1;

std::string UdevHint(const UsbDeviceInfo& device) {
    if (device.vendorId == kInstrumentVendorId && device.productId == kInstrumentProductId)
        return "install the udev rule 60-tq4800.rules (the tq4800-update package does), add "
               "the user to the plugdev group, log in again and plug the instrument in again";
    return "a udev rule must give the user access to it (see 60-tq4800.rules for the "
           "instrument's own)";
}

std::string Describe(const UsbDeviceInfo& device) {
    char text[64];
    std::snprintf(text, sizeof text, "USB device %04x:%04x on bus %u, address %u", device.vendorId,
                  device.productId, unsigned{device.bus}, unsigned{device.address});
    return text;
}

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

// Without an interface number, a name means the device's lowest-numbered USBTMC interface
// (Open picks it among those that match).
bool Names(const UsbResourceName& wanted, const UsbDeviceInfo& device, const std::string& serial,
           std::uint8_t interfaceNumber) {
    return wanted.board == 0 && wanted.vendorId == device.vendorId &&
           wanted.productId == device.productId && EqualsNoCase(wanted.serial, serial) &&
           wanted.interfaceNumber.value_or(interfaceNumber) == interfaceNumber;
}

} // namespace

// One opened device with its USBTMC interface claimed, shared by every session to it.
class UsbBackend::OpenedInterface {
public:
    OpenedInterface(std::shared_ptr<UsbTransport> transport,
                    std::unique_ptr<UsbDeviceHandle> handle, const UsbDeviceInfo& device,
                    const std::string& name, const UsbtmcEndpoints& endpoints, bool driverDetached,
                    std::shared_ptr<usbtmc::TagCounter> tags,
                    std::shared_ptr<UsbDiagnostics> diagnostics)
        : transport_(std::move(transport)), handle_(std::move(handle)), device_(device),
          endpoints_(endpoints), driverDetached_(driverDetached), diagnostics_(diagnostics),
          link_(*handle_, name, endpoints, std::move(tags), *diagnostics) {}

    ~OpenedInterface() {
        // The device may have left the bus; then these fail harmlessly.
        link_.Close();
        const std::uint8_t number = InterfaceNumber();
        handle_->ReleaseInterface(number);
        if (driverDetached_)
            handle_->AttachKernelDriver(number);
    }

    std::uint8_t InterfaceNumber() const { return endpoints_.interfaceNumber; }
    bool SameDevice(const UsbDeviceInfo& device) const {
        return device.bus == device_.bus && device.address == device_.address;
    }
    UsbtmcLink& Link() { return link_; }
    std::mutex& CallMutex() { return callMutex_; }

private:
    std::shared_ptr<UsbTransport> transport_; // outlives the handle
    std::unique_ptr<UsbDeviceHandle> handle_;
    UsbDeviceInfo device_;
    UsbtmcEndpoints endpoints_;
    bool driverDetached_;
    std::shared_ptr<UsbDiagnostics> diagnostics_; // outlives the link
    UsbtmcLink link_;
    std::mutex callMutex_; // one read or write at a time, whichever session makes it
};

class UsbBackend::UsbConnection final : public Connection {
public:
    explicit UsbConnection(std::shared_ptr<OpenedInterface> opened) : opened_(std::move(opened)) {}

    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override {
        const std::lock_guard lock(opened_->CallMutex());
        return opened_->Link().Write(data, count, timeoutMs, written);
    }
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override {
        const std::lock_guard lock(opened_->CallMutex());
        return opened_->Link().Read(buffer, limit, timeoutMs, count, end);
    }

private:
    std::shared_ptr<OpenedInterface> opened_;
};

UsbBackend::UsbBackend(std::shared_ptr<UsbTransport> transport, std::ostream& diagnostics,
                       Clock& clock)
    : transport_(std::move(transport)), clock_(clock),
      diagnostics_(std::make_shared<UsbDiagnostics>(diagnostics)) {}

UsbBackend::~UsbBackend() = default;

ViStatus UsbBackend::List(std::vector<std::string>& names) {
    names.clear();
    std::vector<Resource> resources;
    const ViStatus status = Discover(resources);
    for (const Resource& resource : resources)
        names.push_back(resource.name);
    return status;
}

// An instrument that is not on the bus yet (rebooting, or being enumerated after it came
// back) is looked for until the open time-out has passed.
ViStatus UsbBackend::Open(const std::string& name, ViUInt32 openTimeoutMs,
                          std::unique_ptr<Connection>& connection) {
    UsbResourceName wanted;
    if (!ParseResourceName(name, wanted))
        return VI_ERROR_INV_RSRC_NAME;
    Resource found;
    if (const ViStatus status =
            OpenWithin(clock_, openTimeoutMs, [&] { return Locate(wanted, found); });
        status != VI_SUCCESS)
        return status;
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<OpenedInterface> opened = Opened(found, status);
    if (opened)
        connection = std::make_unique<UsbConnection>(std::move(opened));
    return status;
}

ViStatus UsbBackend::Locate(const UsbResourceName& wanted, Resource& found) {
    std::vector<Resource> resources;
    if (const ViStatus status = Discover(resources); status != VI_SUCCESS)
        return status;
    const Resource* best = nullptr;
    for (const Resource& resource : resources)
        if (Names(wanted, resource.device, resource.serial, resource.endpoints.interfaceNumber) &&
            (!best || resource.endpoints.interfaceNumber < best->endpoints.interfaceNumber))
            best = &resource;
    if (!best)
        return VI_ERROR_RSRC_NFOUND;
    found = *best;
    return VI_SUCCESS;
}

// The interface already opened for the resource, or a newly opened one.
std::shared_ptr<UsbBackend::OpenedInterface> UsbBackend::Opened(const Resource& resource,
                                                                ViStatus& status) {
    const std::lock_guard lock(tablesMutex_);
    std::shared_ptr<OpenedInterface> opened = opened_[resource.name].lock();
    // A device that left the bus and came back has a new address: open it afresh.
    if (!opened || opened->Link().DeviceLost() || !opened->SameDevice(resource.device)) {
        status = OpenInterface(resource, opened);
        if (status != VI_SUCCESS)
            return nullptr;
        opened_[resource.name] = opened;
    }
    status = VI_SUCCESS;
    return opened;
}

ViStatus UsbBackend::Discover(std::vector<Resource>& resources) {
    std::vector<UsbDeviceInfo> devices;
    if (transport_->Enumerate(devices) != UsbResult::Ok) {
        diagnostics_->Say("usb backend: cannot list the USB devices\n");
        return VI_ERROR_SYSTEM_ERROR;
    }
    for (const UsbDeviceInfo& device : devices)
        AddResources(device, resources);
    return VI_SUCCESS;
}

void UsbBackend::AddResources(const UsbDeviceInfo& device, std::vector<Resource>& resources) {
    std::string serial;
    bool serialRead = false;
    for (const UsbInterface& interface : device.interfaces) {
        if (!IsUsbtmc(interface))
            continue;
        Resource resource;
        if (!FindBulkEndpoints(interface, resource.endpoints)) {
            diagnostics_->Say("usb backend: ", Describe(device), " has a USBTMC interface ",
                              int{interface.number}, " without bulk endpoints; skipped\n");
            continue;
        }
        if (!serialRead && !ReadSerial(device, serial))
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

bool UsbBackend::ReadSerial(const UsbDeviceInfo& device, std::string& serial) {
    if (device.serialIndex == 0) {
        diagnostics_->Say("usb backend: ", Describe(device),
                          " has no serial number and cannot be named; skipped\n");
        return false;
    }
    std::unique_ptr<UsbDeviceHandle> handle;
    UsbResult result = transport_->Open(device, handle);
    if (result == UsbResult::Ok)
        result = handle->ReadStringDescriptor(device.serialIndex, serial);
    if (result == UsbResult::NoPermission) {
        diagnostics_->Say("usb backend: the serial number of ", Describe(device),
                          " cannot be read: no permission to open it; ", UdevHint(device), "\n");
        return false;
    }
    if (result != UsbResult::Ok || serial.empty()) {
        // Gone between listing and opening, or not answering: nothing an operator can do.
        diagnostics_->Say("usb backend: the serial number of ", Describe(device),
                          " cannot be read; skipped\n");
        return false;
    }
    return true;
}

ViStatus UsbBackend::OpenInterface(const Resource& resource,
                                   std::shared_ptr<OpenedInterface>& opened) {
    const std::uint8_t number = resource.endpoints.interfaceNumber;
    std::unique_ptr<UsbDeviceHandle> handle;
    switch (transport_->Open(resource.device, handle)) {
    case UsbResult::Ok:
        break;
    case UsbResult::NoPermission:
        diagnostics_->Say("usb backend: no permission to open ", resource.name, "; ",
                          UdevHint(resource.device), "\n");
        return VI_ERROR_NPERMISSION;
    case UsbResult::NoDevice:
        return VI_ERROR_RSRC_NFOUND;
    default:
        diagnostics_->Say("usb backend: cannot open ", resource.name, "\n");
        return VI_ERROR_IO;
    }
    bool detached = false;
    if (handle->KernelDriverActive(number)) {
        if (handle->DetachKernelDriver(number) != UsbResult::Ok) {
            diagnostics_->Say("usb backend: cannot take ", resource.name,
                              " from the kernel's usbtmc driver\n");
            return VI_ERROR_RSRC_BUSY;
        }
        detached = true;
    }
    if (const UsbResult claimed = handle->ClaimInterface(number); claimed != UsbResult::Ok) {
        diagnostics_->Say("usb backend: cannot claim ", resource.name,
                          (claimed == UsbResult::Busy ? ": another program is using it\n" : "\n"));
        if (detached)
            handle->AttachKernelDriver(number);
        return claimed == UsbResult::NoDevice ? VI_ERROR_RSRC_NFOUND : VI_ERROR_RSRC_BUSY;
    }
    std::shared_ptr<usbtmc::TagCounter>& tags = tags_[resource.name];
    if (!tags)
        tags = std::make_shared<usbtmc::TagCounter>();
    opened = std::make_shared<OpenedInterface>(transport_, std::move(handle), resource.device,
                                               resource.name, resource.endpoints, detached, tags,
                                               diagnostics_);
    return VI_SUCCESS;
}

} // namespace visa
