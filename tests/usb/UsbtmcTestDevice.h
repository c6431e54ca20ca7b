#pragma once

// An in-process USBTMC instrument on an in-process bus. The device side is written from the
// USBTMC wire format inwards, independently of the host's framing code: it reassembles
// DEV_DEP_MSG_OUT transfers into messages for the instrument behind it (any
// visa::Connection: a scripted one or the simulated TQ4800), answers
// REQUEST_DEV_DEP_MSG_IN with DEV_DEP_MSG_IN transfers cut into packets, handles the abort
// requests, records every transfer, notes every framing fault of the host, and can
// misbehave on request.

#include "link/visa/Connection.h"
#include "link/visa/UsbTransport.h"

#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace usbtest {

using Bytes = std::vector<std::uint8_t>;

// "01 02 ff ..." sixteen to a line.
std::string HexDump(const Bytes& bytes);
Bytes BytesOf(const std::string& text);

struct Exchange {
    enum Kind { BulkOut, BulkIn, Control, ClearHalt } kind = BulkOut;
    std::uint8_t endpoint = 0; // bulk and clear halt
    Bytes bytes;               // what went out, or what came in
    std::uint8_t requestType = 0, request = 0;
    std::uint16_t value = 0, index = 0;
    visa::UsbResult result = visa::UsbResult::Ok;
    unsigned timeoutMs = 0;
};

// Replies with a fixed text to each command it knows; unknown commands get no reply.
class ScriptedInstrument final : public visa::Connection {
public:
    std::map<std::string, std::string> replies;
    std::vector<std::string> received;

    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override;
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override;

private:
    std::string pending_;
};

struct DeviceSetup {
    std::uint16_t vendorId = 0x1d7a;
    std::uint16_t productId = 0x52c1;
    std::string serial = "TW00012345";
    std::uint8_t interfaceNumber = 0;
    std::uint8_t interfaceClass = 0xFE;
    std::uint8_t subClass = 0x03;
    std::uint8_t protocol = 0x01;
    std::uint16_t packetSize = 64;
    bool kernelDriverBound = true;
};

class UsbtmcTestDevice {
public:
    UsbtmcTestDevice(visa::Connection& instrument, DeviceSetup setup = {});

    // Faults, each acting until cleared unless it counts down.
    bool noShortPacket = false; // a packet-aligned transfer ends without a zero-length packet
    int emptyTransfersBeforeReply = 0; // zero-length packets sent before the next reply
    bool wrongTagOnce = false;         // the next reply carries the wrong bTag
    bool stallNextBulkIn = false;
    bool stallNextBulkOut = false;
    bool holdReplies = false;      // requests are taken but never answered
    bool bulkOutTimesOut = false;  // bulk-out transfers time out with nothing taken
    std::uint32_t replyChunk = 0;  // most data bytes per DEV_DEP_MSG_IN, 0 for no limit
    int unplugAfterBulkIns = -1;   // leaves the bus after that many more bulk-in transfers
    bool permissionDenied = false; // opening the device is refused
    bool claimBusy = false;

    // When set, the device is on the bus only while this says so (an instrument that reboots).
    std::function<bool()> present;

    void Unplug() { plugged_ = false; }
    void Replug() { plugged_ = true; }

    std::vector<Exchange> transcript;
    std::vector<std::string> violations; // framing faults of the host
    int opens = 0, claims = 0, releases = 0, detaches = 0, attaches = 0;
    bool claimed = false;
    bool kernelDriverBound;

    // Bulk-out bytes as the host sent them, one entry per transfer.
    std::vector<Bytes> BulkOuts() const;
    // Everything but the bulk transfers: control requests and cleared halts.
    std::vector<Exchange> ControlTraffic() const;

    // The bus side, used by TestUsbBus and its handles.
    bool Plugged() const { return plugged_ && (!present || present()); }
    visa::UsbDeviceInfo Info(std::uint8_t address) const;
    const DeviceSetup& Setup() const { return setup_; }
    visa::UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                            unsigned timeoutMs, int& transferred);
    visa::UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                           unsigned timeoutMs, int& transferred);
    visa::UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                            unsigned timeoutMs, int& transferred);
    visa::UsbResult ClearHalt(std::uint8_t endpoint);

    static constexpr std::uint8_t kBulkOut = 0x02;
    static constexpr std::uint8_t kBulkIn = 0x81;

private:
    struct Request {
        std::uint8_t tag;
        std::uint32_t maxSize;
    };
    void TakeMessageOut(const std::uint8_t* data, int length);
    void TakeRequest(const std::uint8_t* data, int length);
    bool CheckHeader(const std::uint8_t* data, int length);
    void Answer(ViUInt32 waitMs);
    void Violation(const std::string& what) { violations.push_back(what); }

    visa::Connection& instrument_;
    DeviceSetup setup_;
    bool plugged_ = true;
    bool haltedIn_ = false, haltedOut_ = false;
    std::optional<std::uint8_t> lastTag_;
    Bytes message_; // DEV_DEP_MSG_OUT payload collected until EOM
    std::optional<Request> request_;
    std::optional<std::uint8_t> timedOutTag_;
    std::uint8_t inTag_ = 0;
    std::deque<Bytes> packets_; // queued for Bulk-IN; an empty one is a zero-length packet
};

// A handle on the device, as the bus gives one out.
std::unique_ptr<visa::UsbDeviceHandle> OpenHandle(UsbtmcTestDevice& device);

// A bus with the devices given; each gets an address in order.
class TestUsbBus final : public visa::UsbTransport {
public:
    void Add(UsbtmcTestDevice& device) { devices_.push_back(&device); }
    // A device with no USBTMC interface, as a mouse or a hub would be.
    void AddOther(std::uint16_t vendorId, std::uint16_t productId, std::uint8_t interfaceClass,
                  std::uint8_t subClass);

    visa::UsbResult Enumerate(std::vector<visa::UsbDeviceInfo>& devices) override;
    visa::UsbResult Open(const visa::UsbDeviceInfo& device,
                         std::unique_ptr<visa::UsbDeviceHandle>& handle) override;

private:
    std::vector<UsbtmcTestDevice*> devices_;
    std::vector<visa::UsbDeviceInfo> others_;
};

} // namespace usbtest
