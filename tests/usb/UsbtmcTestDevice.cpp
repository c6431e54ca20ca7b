#include "tests/usb/UsbtmcTestDevice.h"

#include <algorithm>
#include <cstdio>

namespace usbtest {
namespace {

using visa::UsbResult;

constexpr std::uint8_t kSerialIndex = 3;
constexpr std::uint8_t kBulkOut = 0x02, kBulkIn = 0x81;
constexpr ViUInt32 kUnlimitedWaitMs = 60'000;

// What the bus gives out for a device; the interface calls change the device's state.
class TestHandle final : public visa::UsbDeviceHandle {
public:
    explicit TestHandle(UsbtmcTestDevice& device) : device_(device) {}

    UsbResult ReadStringDescriptor(std::uint8_t, std::string& text, unsigned) override {
        ++device_.serialReads;
        if (device_.serialTimesOut)
            return UsbResult::Timeout;
        text = device_.setup.serial;
        return device_.Plugged() ? UsbResult::Ok : UsbResult::NoDevice;
    }
    bool KernelDriverActive(std::uint8_t) override { return device_.kernelDriverBound; }
    UsbResult DetachKernelDriver(std::uint8_t) override {
        return Set(device_.kernelDriverBound, false);
    }
    UsbResult AttachKernelDriver(std::uint8_t) override {
        return Set(device_.kernelDriverBound, true);
    }
    UsbResult ClaimInterface(std::uint8_t) override {
        if (device_.claimBusy)
            return UsbResult::Busy;
        ++device_.claims;
        return Set(device_.claimed, true);
    }
    UsbResult ReleaseInterface(std::uint8_t) override { return Set(device_.claimed, false); }
    UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                      std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                      unsigned timeoutMs, int& transferred) override {
        return device_.Control(requestType, request, value, index, data, length, timeoutMs,
                               transferred);
    }
    UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                      unsigned timeoutMs, int& transferred) override {
        return device_.BulkOut(endpoint, data, length, timeoutMs, transferred);
    }
    UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned timeoutMs,
                     int& transferred) override {
        return device_.BulkIn(endpoint, data, length, timeoutMs, transferred);
    }
    UsbResult ClearHalt(std::uint8_t endpoint, unsigned) override {
        return device_.ClearHalt(endpoint);
    }

private:
    // A change of state, made only while the device is on the bus.
    UsbResult Set(bool& state, bool value) {
        if (!device_.Plugged())
            return UsbResult::NoDevice;
        state = value;
        return UsbResult::Ok;
    }

    UsbtmcTestDevice& device_;
};

} // namespace

ViStatus ScriptedInstrument::Write(const ViByte* data, ViUInt32 count, ViUInt32,
                                   ViUInt32& written) {
    received.emplace_back(reinterpret_cast<const char*>(data), count);
    written = count;
    return VI_SUCCESS;
}

ViStatus ScriptedInstrument::Read(ViByte* buffer, ViUInt32 limit, ViUInt32, ViUInt32& count,
                                  bool& end) {
    if (reply.empty() && !later.empty()) {
        reply = later.front();
        later.pop_front();
    }
    if (endless)
        endless->SleepMs(1);
    count = std::min<ViUInt32>(limit, static_cast<ViUInt32>(reply.size()));
    end = count == reply.size() && !endless;
    std::copy_n(reply.begin(), count, buffer);
    if (endless)
        return VI_SUCCESS;
    const bool nothing = reply.empty();
    reply.erase(0, count);
    return nothing ? VI_ERROR_TMO : VI_SUCCESS;
}

UsbtmcTestDevice::UsbtmcTestDevice(visa::Connection& instrument, DeviceSetup setup,
                                   const Clock& clock)
    : UsbtmcDeviceModel(instrument, clock), setup(std::move(setup)) {}

// A vendor interface first, another USBTMC interface, then the instrument's, which alone
// has an Interrupt-IN endpoint and protocol 1 (USB488).
visa::UsbDeviceInfo UsbtmcTestDevice::Info(std::uint8_t address) const {
    constexpr std::uint8_t bulk = visa::kUsbTransferBulk;
    const auto serialIndex = setup.serial.empty() ? std::uint8_t{0} : kSerialIndex;
    visa::UsbDeviceInfo info{1, address, setup.vendorId, setup.productId, serialIndex, {}};
    if (setup.interfaceNumber != 0)
        info.interfaces.push_back({0, 0xFF, 0, 0, {{0x01, bulk, 64}, {0x82, bulk, 64}}});
    if (const auto number = setup.earlierUsbtmcInterface)
        info.interfaces.push_back({*number, 0xFE, 3, 0, {{0x04, bulk, 64}, {0x85, bulk, 64}}});
    info.interfaces.push_back({setup.interfaceNumber,
                               0xFE,
                               3,
                               1,
                               {{0x83, visa::kUsbTransferInterrupt, 8},
                                {kBulkOut, bulk, packetSize},
                                {kBulkIn, bulk, packetSize}}});
    return info;
}

UsbResult UsbtmcTestDevice::BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                                    unsigned timeoutMs, int& transferred) {
    transferred = 0;
    timeoutsMs.push_back(timeoutMs);
    if (!Plugged())
        return Unplugged();
    outs.emplace_back(data, data + length);
    Expect(endpoint == kBulkOut, "bulk-out to another endpoint");
    using usbtmcdevice::OutFate;
    const OutFate fate = haltedOut || bulkOutFails ? OutFate::Stalled
                         : bulkOutTimesOut         ? OutFate::TimedOut
                                                   : OutFate::Taken;
    TakeOut(data, static_cast<std::size_t>(length), fate);
    if (fate == OutFate::Stalled)
        return haltedOut ? UsbResult::Stall : UsbResult::Error;
    haltedOut = bulkOutTimesOut && sevenBitTags;
    transferred = bulkOutTimesOut ? 0 : length;
    return bulkOutTimesOut ? UsbResult::Timeout : UsbResult::Ok;
}

// The answer cut into packets, after the zero-length packets asked for.
void UsbtmcTestDevice::Queue(const Bytes& transfer) {
    packets_.resize(packets_.size() + emptyTransfersBeforeReply);
    emptyTransfersBeforeReply = 0;
    const std::size_t packet = packetSize;
    for (std::size_t at = 0; at < transfer.size(); at += packet)
        packets_.emplace_back(transfer.begin() + at,
                              transfer.begin() + std::min(transfer.size(), at + packet));
    const bool whole = transfer.size() % packet == 0;
    terminatorDue_ = whole && ending == Ending::LatePacket;
    if (whole && ending < Ending::LatePacket)
        packets_.emplace_back(ending == Ending::AlignmentPacket ? 4 : 0, 0);
}

bool UsbtmcTestDevice::WithdrawReply() {
    packets_.clear();
    return true;
}

UsbResult UsbtmcTestDevice::Unplugged() {
    if (unplugIoErrors <= 0)
        return UsbResult::NoDevice;
    --unplugIoErrors;
    return UsbResult::Error;
}

UsbResult UsbtmcTestDevice::BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                                   unsigned timeoutMs, int& transferred) {
    transferred = 0;
    timeoutsMs.push_back(timeoutMs);
    if (unplugAfterBulkIns >= 0 && unplugAfterBulkIns-- == 0) {
        plugged = false;
        UsbtmcDeviceModel::ClearHalt(true);
    }
    if (!Plugged())
        return Unplugged();
    Expect(endpoint == kBulkIn, "bulk-in from another endpoint");
    if (haltedIn)
        return UsbResult::Stall;
    if (packets_.empty() && terminatorDue_) {
        terminatorDue_ = false;
        packets_.emplace_back();
        return UsbResult::Timeout;
    }
    // A device holds a bulk-in transfer until its reply is ready, or the host gives up.
    if (packets_.empty())
        if (const auto transfer = Answer(timeoutMs == 0 ? kUnlimitedWaitMs : timeoutMs))
            Queue(*transfer);
    while (!packets_.empty()) {
        const Bytes packet = packets_.front();
        const int size = static_cast<int>(packet.size());
        if (!Expect(transferred + size <= length, "a bulk-in buffer that splits a packet"))
            return UsbResult::Error;
        packets_.pop_front();
        std::copy(packet.begin(), packet.end(), data + transferred);
        transferred += size;
        if (packets_.empty())
            ReplyGone();
        if (packet.size() < packetSize || transferred == length)
            return UsbResult::Ok;
    }
    // Only full packets came and the buffer is not full: the host waits for more.
    return UsbResult::Timeout;
}

UsbResult UsbtmcTestDevice::Control(std::uint8_t requestType, std::uint8_t request,
                                    std::uint16_t value, std::uint16_t index, std::uint8_t* data,
                                    std::uint16_t length, unsigned timeoutMs, int& transferred) {
    transferred = 0;
    timeoutsMs.push_back(timeoutMs);
    if (!Plugged())
        return Unplugged();
    // The abort requests of Bulk-OUT are 1 and 2, those of Bulk-IN 3 and 4.
    if (requestType == 0xA2 && index != (request <= 2 ? kBulkOut : kBulkIn))
        return UsbResult::Stall;
    const auto reply = ClassRequest({requestType, request, value, index, length});
    if (!reply)
        return UsbResult::Stall;
    std::copy(reply->begin(), reply->end(), data);
    transferred = static_cast<int>(reply->size());
    char line[128]; // the longest reply, GET_CAPABILITIES', is 24 bytes
    int at =
        std::snprintf(line, sizeof line, "%02x %u %u %02x ->", requestType, request, value, index);
    for (const std::uint8_t byte : *reply)
        at += std::snprintf(line + at, sizeof line - at, " %02x", byte);
    control.push_back(line);
    return UsbResult::Ok;
}

UsbResult UsbtmcTestDevice::ClearHalt(std::uint8_t endpoint) {
    char line[16];
    std::snprintf(line, sizeof line, "clear %02x", endpoint);
    control.push_back(line);
    if (!Plugged())
        return Unplugged();
    (endpoint == kBulkIn ? haltedIn : haltedOut) = false;
    if (endpoint == kBulkIn && clearHaltKeepsQueue)
        return UsbResult::Ok;
    UsbtmcDeviceModel::ClearHalt(endpoint == kBulkIn);
    return UsbResult::Ok;
}

visa::UsbResult TestUsbBus::Enumerate(std::vector<visa::UsbDeviceInfo>& found) {
    found.clear();
    std::uint8_t address = 1;
    for (; address <= devices.size(); ++address)
        if (devices[address - 1]->Plugged())
            found.push_back(devices[address - 1]->Info(address));
    for (const auto& [interfaceClass, subClass] : others) {
        const visa::UsbInterface only{
            0, interfaceClass, subClass, 0, {{0x81, 2, 64}, {0x02, 2, 64}}};
        found.push_back({1, address++, 0x046d, 0xc077, kSerialIndex, {only}});
    }
    return UsbResult::Ok;
}

visa::UsbResult TestUsbBus::Open(const visa::UsbDeviceInfo& device,
                                 std::unique_ptr<visa::UsbDeviceHandle>& handle) {
    if (device.address > devices.size())
        return UsbResult::Error; // the other devices are never opened
    UsbtmcTestDevice& found = *devices[device.address - 1u];
    if (!found.Plugged())
        return UsbResult::NoDevice;
    if (found.permissionDenied)
        return UsbResult::NoPermission;
    handle = std::make_unique<TestHandle>(found);
    return UsbResult::Ok;
}

} // namespace usbtest
