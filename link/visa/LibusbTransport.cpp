#include "link/visa/LibusbTransport.h"

#include "link/visa/UsbStringDescriptor.h"

#include <chrono>
#include <libusb.h>
#include <ostream>

namespace visa {
namespace {

UsbResult FromLibusb(int code) {
    switch (code) {
    case LIBUSB_SUCCESS:
        return UsbResult::Ok;
    case LIBUSB_ERROR_TIMEOUT:
        return UsbResult::Timeout;
    case LIBUSB_ERROR_PIPE:
        return UsbResult::Stall;
    case LIBUSB_ERROR_NO_DEVICE:
        return UsbResult::NoDevice;
    case LIBUSB_ERROR_ACCESS:
        return UsbResult::NoPermission;
    case LIBUSB_ERROR_BUSY:
        return UsbResult::Busy;
    default:
        return code >= 0 ? UsbResult::Ok : UsbResult::Error;
    }
}

void ReadInterfaces(libusb_device* device, UsbDeviceInfo& info) {
    libusb_config_descriptor* config = nullptr;
    if (libusb_get_active_config_descriptor(device, &config) != LIBUSB_SUCCESS)
        return;
    for (int i = 0; i < config->bNumInterfaces; ++i) {
        if (config->interface[i].num_altsetting < 1)
            continue;
        const libusb_interface_descriptor& setting = config->interface[i].altsetting[0];
        UsbInterface interface {
            setting.bInterfaceNumber, setting.bInterfaceClass, setting.bInterfaceSubClass,
                setting.bInterfaceProtocol, {}
        };
        for (int e = 0; e < setting.bNumEndpoints; ++e) {
            const libusb_endpoint_descriptor& endpoint = setting.endpoint[e];
            interface.endpoints.push_back(
                {endpoint.bEndpointAddress, endpoint.bmAttributes, endpoint.wMaxPacketSize});
        }
        info.interfaces.push_back(std::move(interface));
    }
    libusb_free_config_descriptor(config);
}

// A libusb context of its own for each search and each open. libusb built with udev support
// refreshes a context's device list only from udevd's events: without udevd (containers,
// minimal systems) a context kept for the life of the process would never see an instrument
// that came back at a new address after its reboot. A fresh context scans the bus as it is.
using Context = std::shared_ptr<libusb_context>;

int NewContext(Context& context) {
    libusb_context* raw = nullptr;
    const int result = libusb_init(&raw);
    if (result == LIBUSB_SUCCESS)
        context = Context(raw, libusb_exit);
    return result;
}

// The real bus's time: libusb's transfers wait on it.
class Deadline {
public:
    explicit Deadline(unsigned timeoutMs)
        : end_(std::chrono::steady_clock::now() + std::chrono::milliseconds(timeoutMs)) {}
    // Never 0, which libusb takes for "wait forever".
    unsigned LeftMs() const {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                              end_ - std::chrono::steady_clock::now())
                              .count();
        return left < 1 ? 1u : static_cast<unsigned>(left);
    }

private:
    std::chrono::steady_clock::time_point end_;
};

class LibusbHandle final : public UsbDeviceHandle {
public:
    LibusbHandle(Context context, libusb_device_handle* handle)
        : context_(std::move(context)), handle_(handle) {}
    ~LibusbHandle() override { libusb_close(handle_); }

    UsbResult ReadStringDescriptor(std::uint8_t index, std::string& text,
                                   unsigned timeoutMs) override {
        const Deadline deadline(timeoutMs);
        std::uint8_t buffer[kStringDescriptorMaxSize];
        int got = 0;
        if (const UsbResult result = GetString(0, 0, buffer, deadline, got);
            result != UsbResult::Ok)
            return result;
        std::uint16_t language = 0;
        if (!FirstLanguage(buffer, static_cast<std::size_t>(got), language))
            return UsbResult::Error;
        if (const UsbResult result = GetString(index, language, buffer, deadline, got);
            result != UsbResult::Ok)
            return result;
        return DecodeStringDescriptor(buffer, static_cast<std::size_t>(got), text)
                   ? UsbResult::Ok
                   : UsbResult::Error;
    }
    bool KernelDriverActive(std::uint8_t interfaceNumber) override {
        return libusb_kernel_driver_active(handle_, interfaceNumber) == 1;
    }
    UsbResult DetachKernelDriver(std::uint8_t interfaceNumber) override {
        return FromLibusb(libusb_detach_kernel_driver(handle_, interfaceNumber));
    }
    UsbResult AttachKernelDriver(std::uint8_t interfaceNumber) override {
        return FromLibusb(libusb_attach_kernel_driver(handle_, interfaceNumber));
    }
    UsbResult ClaimInterface(std::uint8_t interfaceNumber) override {
        return FromLibusb(libusb_claim_interface(handle_, interfaceNumber));
    }
    UsbResult ReleaseInterface(std::uint8_t interfaceNumber) override {
        return FromLibusb(libusb_release_interface(handle_, interfaceNumber));
    }
    UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                      unsigned timeoutMs, int& transferred) override {
        const int result = libusb_control_transfer(handle_, requestType, request, value, index,
                                                   data, length, timeoutMs);
        transferred = result < 0 ? 0 : result;
        return FromLibusb(result);
    }
    UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                      unsigned timeoutMs, int& transferred) override {
        // libusb only reads the buffer of an OUT transfer.
        return FromLibusb(libusb_bulk_transfer(handle_, endpoint, const_cast<std::uint8_t*>(data),
                                               length, &transferred, timeoutMs));
    }
    UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned timeoutMs,
                     int& transferred) override {
        return FromLibusb(
            libusb_bulk_transfer(handle_, endpoint, data, length, &transferred, timeoutMs));
    }
    // libusb_clear_halt waits for the device as long as the kernel lets it (5 s); the request
    // is sent first with our own time-out, and the kernel's clear then finds the device
    // answering.
    UsbResult ClearHalt(std::uint8_t endpoint, unsigned timeoutMs) override {
        constexpr std::uint8_t toEndpoint = 0x02, clearFeature = 1, endpointHalt = 0;
        const int result = libusb_control_transfer(handle_, toEndpoint, clearFeature, endpointHalt,
                                                   endpoint, nullptr, 0, timeoutMs);
        if (result < 0)
            return FromLibusb(result);
        return FromLibusb(libusb_clear_halt(handle_, endpoint));
    }

private:
    UsbResult GetString(std::uint8_t index, std::uint16_t language, std::uint8_t* buffer,
                        const Deadline& deadline, int& got) {
        const int result =
            libusb_control_transfer(handle_, kRequestTypeStandardIn, kGetDescriptor,
                                    static_cast<std::uint16_t>(kStringDescriptorType << 8 | index),
                                    language, buffer, kStringDescriptorMaxSize, deadline.LeftMs());
        got = result < 0 ? 0 : result;
        return FromLibusb(result);
    }

    Context context_; // outlives the handle
    libusb_device_handle* handle_;
};

class LibusbTransport final : public UsbTransport {
public:
    UsbResult Enumerate(std::vector<UsbDeviceInfo>& devices) override {
        devices.clear();
        Context context;
        if (const int result = NewContext(context); result != LIBUSB_SUCCESS)
            return FromLibusb(result);
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context.get(), &list);
        if (count < 0)
            return FromLibusb(static_cast<int>(count));
        for (ssize_t i = 0; i < count; ++i) {
            libusb_device_descriptor descriptor;
            if (libusb_get_device_descriptor(list[i], &descriptor) != LIBUSB_SUCCESS)
                continue;
            UsbDeviceInfo info;
            info.bus = libusb_get_bus_number(list[i]);
            info.address = libusb_get_device_address(list[i]);
            info.vendorId = descriptor.idVendor;
            info.productId = descriptor.idProduct;
            info.serialIndex = descriptor.iSerialNumber;
            ReadInterfaces(list[i], info);
            devices.push_back(std::move(info));
        }
        libusb_free_device_list(list, 1);
        return UsbResult::Ok;
    }

    UsbResult Open(const UsbDeviceInfo& device, std::unique_ptr<UsbDeviceHandle>& handle) override {
        Context context;
        if (const int result = NewContext(context); result != LIBUSB_SUCCESS)
            return FromLibusb(result);
        libusb_device** list = nullptr;
        const ssize_t count = libusb_get_device_list(context.get(), &list);
        if (count < 0)
            return FromLibusb(static_cast<int>(count));
        int result = LIBUSB_ERROR_NO_DEVICE;
        for (ssize_t i = 0; i < count; ++i) {
            if (libusb_get_bus_number(list[i]) != device.bus ||
                libusb_get_device_address(list[i]) != device.address)
                continue;
            libusb_device_handle* opened = nullptr;
            result = libusb_open(list[i], &opened);
            if (result == LIBUSB_SUCCESS)
                handle = std::make_unique<LibusbHandle>(context, opened);
            break;
        }
        libusb_free_device_list(list, 1);
        return FromLibusb(result);
    }
};

} // namespace

std::shared_ptr<UsbTransport> StartLibusbTransport(std::ostream& diagnostics) {
    Context context;
    if (const int result = NewContext(context); result != LIBUSB_SUCCESS) {
        diagnostics << "VISA backend usb not available: libusb cannot start: "
                    << libusb_strerror(static_cast<libusb_error>(result)) << "\n";
        return nullptr;
    }
    return std::make_shared<LibusbTransport>();
}

} // namespace visa
