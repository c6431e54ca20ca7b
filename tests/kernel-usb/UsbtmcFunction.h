#pragma once

// The USBTMC device model served over FunctionFS, a thread for each endpoint: Bulk-OUT
// transfers are read one at a time (the header says how long each is), each answer is
// written to Bulk-IN as soon as the instrument has something to say, and the class requests
// on ep0 are answered. When a message sends the instrument into a reboot, the owner is told,
// so that it takes the gadget off the bus. The threads run until the process ends.

#include "tests/kernel-usb/FunctionFs.h"
#include "tests/kernel-usb/InstrumentPort.h"
#include "tests/usbtmc-device/UsbtmcDeviceModel.h"

#include <cstdint>
#include <functional>

namespace kernelusb {

struct FunctionSettings {
    // A reply filling whole packets ends with a zero-length packet, as the class asks; off,
    // it ends with its last full packet, as some instruments do.
    bool zeroLengthPackets = true;
    std::uint16_t packetSize = kHighSpeedPacket; // of Bulk-IN at the speed the gadget runs
};

class UsbtmcFunction {
public:
    UsbtmcFunction(FunctionFsFiles files, InstrumentPort& port, FunctionSettings settings,
                   std::function<void()> rebooting);

    // Forgets every transfer in progress: the gadget has left the bus.
    void Reset() { model_.Reset(); }

private:
    void ControlLoop();
    void HandleSetup(const usbtmcdevice::ControlRequest& setup);
    void BulkOutLoop();
    bool ReadTransfer(Bytes& transfer);
    void BulkInLoop();
    void WriteIn(const Bytes& transfer);

    const FunctionFsFiles files_;
    InstrumentPort& port_;
    const FunctionSettings settings_;
    std::function<void()> rebooting_;
    usbtmcdevice::UsbtmcDeviceModel model_;
};

} // namespace kernelusb
