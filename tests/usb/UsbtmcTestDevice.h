#pragma once

// An in-process USBTMC instrument on an in-process bus: the device model behind the transport
// seam, with the instrument behind it a scripted one or the simulated TQ4800.

#include "link/visa/Connection.h"
#include "link/visa/UsbTransport.h"
#include "seams/Clock.h"
#include "tests/usbtmc-device/UsbtmcDeviceModel.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace usbtest {

using usbtmcdevice::Bytes;

// Gives every read the text in reply, in pieces if asked for less; keeps what it is sent.
class ScriptedInstrument final : public visa::Connection {
public:
    std::string reply;
    std::deque<std::string> later; // the replies after reply, in turn
    std::vector<std::string> received;
    // Set: reply never ends (each read gives what it can of it, without EOM) and every read
    // takes a millisecond of this clock.
    Clock* endless = nullptr;

    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override;
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override;
};

// How a reply that fills whole packets ends: as the class asks, with a short packet of
// alignment bytes, with a zero-length packet that misses the first read, or not at all.
enum class Ending { ZeroLengthPacket, AlignmentPacket, LatePacket, Nothing };

struct DeviceSetup {
    std::uint16_t vendorId = 0x1d7a;
    std::uint16_t productId = 0x52c1;
    std::string serial = "TW00012345"; // empty: the device has no serial number
    std::uint8_t interfaceNumber = 0;  // not 0: a vendor interface comes first
    // Another USBTMC interface with this number, listed before the instrument's.
    std::optional<std::uint8_t> earlierUsbtmcInterface = std::nullopt;
};

// The device model on the transport seam: its handles carry out the transfers, which the
// device cuts into packets.
class UsbtmcTestDevice final : public usbtmcdevice::UsbtmcDeviceModel {
public:
    UsbtmcTestDevice(visa::Connection& instrument, DeviceSetup setup = {},
                     const Clock& clock = SystemClock());

    // Faults of the bus side, each acting until cleared unless it counts down.
    Ending ending = Ending::ZeroLengthPacket;
    bool clearHaltKeepsQueue = false; // a cleared halt leaves requests and packets queued
    int unplugIoErrors = 0; // so many transfers after an unplug fail as I/O before it shows
    int emptyTransfersBeforeReply = 0;        // zero-length packets sent before the next reply
    bool haltedOut = false, haltedIn = false; // the endpoint stalls until its halt is cleared
    bool bulkOutTimesOut = false;             // bulk-out transfers time out with nothing taken
    bool bulkOutFails = false;     // bulk-out transfers end in an I/O error, the device on the bus
    int unplugAfterBulkIns = -1;   // leaves the bus after that many more bulk-in transfers
    bool permissionDenied = false; // opening the device is refused
    bool serialTimesOut = false;   // the serial number's string descriptor never comes
    bool claimBusy = false;
    bool plugged = true;
    std::uint16_t packetSize = 64; // of the bulk endpoints (512 at high speed), read at open
    // When set, the device is on the bus only while this says so (an instrument that reboots).
    std::function<bool()> present;

    const DeviceSetup setup;
    bool kernelDriverBound = true;
    bool claimed = false;
    int claims = 0;
    int serialReads = 0;
    std::vector<Bytes> outs;          // every bulk-out transfer, as the host sent it
    std::vector<std::string> control; // "a2 3 2 81 -> 01 02" for a request, "clear 81"
    std::vector<unsigned> timeoutsMs; // of every transfer the host asked for

    bool Plugged() const { return plugged && (!present || present()); }
    std::size_t QueuedPackets() const { return packets_.size(); }
    visa::UsbDeviceInfo Info(std::uint8_t address) const;

    // The device side of the transfers, as its handles carry them out.
    visa::UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                            unsigned timeoutMs, int& transferred);
    visa::UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                           unsigned timeoutMs, int& transferred);
    visa::UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                            unsigned timeoutMs, int& transferred);
    visa::UsbResult ClearHalt(std::uint8_t endpoint);

private:
    bool WithdrawReply() override;
    void Queue(const Bytes& transfer);
    visa::UsbResult Unplugged();

    std::deque<Bytes> packets_;  // queued for Bulk-IN; an empty one is a zero-length packet
    bool terminatorDue_ = false; // a late terminating packet is yet to be queued
};

// A bus with the devices given at addresses 1, 2 ..., then the other devices.
class TestUsbBus : public visa::UsbTransport {
public:
    std::vector<UsbtmcTestDevice*> devices;
    // Devices with no USBTMC interface (a mouse, a DFU port): class and subclass of their one
    // interface. They are never opened.
    std::vector<std::pair<std::uint8_t, std::uint8_t>> others;

    visa::UsbResult Enumerate(std::vector<visa::UsbDeviceInfo>& found) override;
    visa::UsbResult Open(const visa::UsbDeviceInfo& device,
                         std::unique_ptr<visa::UsbDeviceHandle>& handle) override;
};

} // namespace usbtest
