#pragma once

// The FunctionFS side of the gadget: the descriptors and strings written to ep0, the events
// read from it, and the three endpoint files. FunctionFS expects little-endian fields.

#include "tests/kernel-usb/TestPattern.h"
#include "tests/usbtmc-device/UsbtmcDeviceModel.h"

#include <cstdint>
#include <string>

namespace kernelusb {

inline constexpr std::uint16_t kFullSpeedPacket = 64;
inline constexpr std::uint16_t kHighSpeedPacket = 512;

// An event read from ep0: its type (FUNCTIONFS_SETUP ...) and, for a setup, the request.
struct Event {
    std::uint8_t type = 0;
    usbtmcdevice::ControlRequest setup;
};

inline constexpr std::size_t kEventSize = 12;
Event ParseEvent(const std::uint8_t* bytes);

// The opened files of a mounted FunctionFS instance: ep0 with the descriptors written (one
// USBTMC interface with a Bulk-OUT and a Bulk-IN endpoint, for full and high speed), then
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
