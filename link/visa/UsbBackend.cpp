#include "link/visa/UsbBackend.h"

#include "link/visa/OpenRetry.h"
#include "link/visa/UsbtmcFraming.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <ostream>
#include <utility>

namespace visa {
namespace {

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
                    std::shared_ptr<UsbDiagnostics> diagnostics, Clock& clock)
        : transport_(std::move(transport)), handle_(std::move(handle)), device_(device),
          endpoints_(endpoints), driverDetached_(driverDetached), diagnostics_(diagnostics),
          link_(*handle_, name, endpoints, std::move(tags), *diagnostics, clock) {}

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
      diagnostics_(std::make_shared<UsbDiagnostics>(diagnostics)),
      discovery_(*transport_, *diagnostics_, clock) {}

UsbBackend::~UsbBackend() = default;

ViStatus UsbBackend::List(std::vector<std::string>& names) {
    names.clear();
    std::vector<Resource> resources;
    const ViStatus status = discovery_.Find(resources);
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
    // Serial numbers are read within the open's own time-out and clean-up.
    const std::uint64_t readsEndMs = clock_.NowMs() + openTimeoutMs + kCleanupMs;
    Resource found;
    if (const ViStatus status =
            OpenWithin(clock_, openTimeoutMs, [&] { return Locate(wanted, readsEndMs, found); });
        status != VI_SUCCESS)
        return status;
    ViStatus status = VI_SUCCESS;
    std::shared_ptr<OpenedInterface> opened = Opened(found, status);
    if (opened)
        connection = std::make_unique<UsbConnection>(std::move(opened));
    return status;
}

ViStatus UsbBackend::Locate(const UsbResourceName& wanted, std::uint64_t readsEndMs,
                            Resource& found) {
    std::vector<Resource> resources;
    if (const ViStatus status = discovery_.Find(resources, &wanted, readsEndMs);
        status != VI_SUCCESS)
        return status;
    // Names match regardless of case, but a device whose serial number is spelt exactly as
    // asked comes first: of two instruments whose serial numbers differ only in case, the
    // name listed for one must never open the other.
    const auto rank = [&wanted](const Resource& resource) {
        return std::pair(resource.serial != wanted.serial, resource.endpoints.interfaceNumber);
    };
    const Resource* best = nullptr;
    for (const Resource& resource : resources)
        if (Names(wanted, resource.device, resource.serial, resource.endpoints.interfaceNumber) &&
            (!best || rank(resource) < rank(*best)))
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
                                               diagnostics_, clock_);
    return VI_SUCCESS;
}

} // namespace visa
