#pragma once

// The FunctionFS side of the gadget: the descriptors and strings written to ep0, the events
// read from it, and the three endpoint files. FunctionFS expects little-endian fields.

#include "tests/kernel-usb/TestPattern.h"

#include <cstdint>
#include <string>

namespace kernelusb {

// The addresses asked for; the gadget stack gives the endpoints the controller's own, and
// FunctionFS names their files ep1 and ep2 in this order.
inline constexpr std::uint8_t kBulkOutAddress = 0x01;
inline constexpr std::uint8_t kBulkInAddress = 0x82;
inline constexpr std::uint16_t kFullSpeedPacket = 64;
inline constexpr std::uint16_t kHighSpeedPacket = 512;

// One USBTMC interface (class 0xFE, subclass 3, protocol 0) with a Bulk-OUT and a Bulk-IN
// endpoint, for full and high speed.
Bytes FunctionDescriptors();
Bytes FunctionStrings(const std::string& interfaceName);

struct ControlRequest {
    std::uint8_t requestType = 0;
    std::uint8_t request = 0;
    std::uint16_t value = 0;
    std::uint16_t index = 0;
    std::uint16_t length = 0;
};

enum class EventType { Bind, Unbind, Enable, Disable, Setup, Suspend, Resume, Unknown };

struct Event {
    EventType type = EventType::Unknown;
    ControlRequest setup; // for Setup
};

inline constexpr std::size_t kEventSize = 12;
Event ParseEvent(const std::uint8_t* bytes);

// The opened files of a mounted FunctionFS instance: ep0 with the descriptors written, then
// the bulk endpoints. Throws std::runtime_error naming the file that failed.
class FunctionFsFiles {
public:
    explicit FunctionFsFiles(const std::string& mountPoint);
    ~FunctionFsFiles();
    FunctionFsFiles(const FunctionFsFiles&) = delete;
    FunctionFsFiles& operator=(const FunctionFsFiles&) = delete;

    int Ep0() const { return ep0_; }
    int BulkOut() const { return bulkOut_; }
    int BulkIn() const { return bulkIn_; }

private:
    int ep0_ = -1, bulkOut_ = -1, bulkIn_ = -1;
};

} // namespace kernelusb
