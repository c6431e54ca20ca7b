#pragma once

// The USB traffic the usb backend needs, and nothing more: device enumeration with the
// descriptors that identify a USBTMC interface, and control, bulk-out and bulk-in transfers
// on an opened device. LibusbTransport carries it out on a real bus; the tests put an
// in-process USBTMC device behind it.
//
// Every call blocks until it is done or its time-out has passed. A time-out of 0 waits
// without limit, as libusb does; callers that hold a VISA time-out convert it first.

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace visa {

enum class UsbResult {
    Ok,
    Timeout,      // nothing or only part arrived within the time-out; transferred says how much
    Stall,        // the endpoint answered with STALL (halted)
    NoDevice,     // the device has left the bus
    NoPermission, // the operating system refused access
    Busy,         // another program or driver holds the interface
    Error,        // any other failure
};

inline constexpr std::uint8_t kUsbEndpointIn = 0x80;
inline constexpr std::uint8_t kUsbTransferTypeMask = 0x03;
inline constexpr std::uint8_t kUsbTransferBulk = 0x02;
inline constexpr std::uint8_t kUsbTransferInterrupt = 0x03;

struct UsbEndpoint {
    std::uint8_t address = 0; // bit 7 set for IN endpoints
    std::uint8_t attributes = 0;
    std::uint16_t maxPacketSize = 0;
};

struct UsbInterface {
    std::uint8_t number = 0;
    std::uint8_t interfaceClass = 0;
    std::uint8_t subClass = 0;
    std::uint8_t protocol = 0;
    std::vector<UsbEndpoint> endpoints;
};

// One device on the bus, as its descriptors describe it. bus and address find it again.
struct UsbDeviceInfo {
    std::uint8_t bus = 0;
    std::uint8_t address = 0;
    std::uint16_t vendorId = 0;
    std::uint16_t productId = 0;
    std::uint8_t serialIndex = 0;         // string descriptor index of the serial number, 0 if none
    std::vector<UsbInterface> interfaces; // of the active configuration, alternate setting 0
};

class UsbDeviceHandle {
public:
    virtual ~UsbDeviceHandle() = default;

    // The string descriptor in US English (the first language the device offers), as ASCII
    // with '?' for other characters; at most timeoutMs in all.
    virtual UsbResult ReadStringDescriptor(std::uint8_t index, std::string& text,
                                           unsigned timeoutMs) = 0;
    virtual bool KernelDriverActive(std::uint8_t interfaceNumber) = 0;
    virtual UsbResult DetachKernelDriver(std::uint8_t interfaceNumber) = 0;
    virtual UsbResult AttachKernelDriver(std::uint8_t interfaceNumber) = 0;
    virtual UsbResult ClaimInterface(std::uint8_t interfaceNumber) = 0;
    virtual UsbResult ReleaseInterface(std::uint8_t interfaceNumber) = 0;

    // A control transfer; the direction is bit 7 of requestType. data holds length bytes.
    virtual UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                              std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                              unsigned timeoutMs, int& transferred) = 0;
    virtual UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                              unsigned timeoutMs, int& transferred) = 0;
    // Ends when length bytes have arrived or the device sent a short packet.
    virtual UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                             unsigned timeoutMs, int& transferred) = 0;
    // CLEAR_FEATURE(ENDPOINT_HALT), waiting at most timeoutMs for the device, then the host's
    // side of the pipe is reset too.
    virtual UsbResult ClearHalt(std::uint8_t endpoint, unsigned timeoutMs) = 0;
};

class UsbTransport {
public:
    virtual ~UsbTransport() = default;

    virtual UsbResult Enumerate(std::vector<UsbDeviceInfo>& devices) = 0;
    virtual UsbResult Open(const UsbDeviceInfo& device,
                           std::unique_ptr<UsbDeviceHandle>& handle) = 0;
};

} // namespace visa
