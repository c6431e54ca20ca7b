#include "fuzz/UsbScriptBus.h"

#include "link/visa/ResourceName.h"
#include "link/visa/UsbStringDescriptor.h"

#include <algorithm>

namespace usbfuzz {
namespace {

using visa::UsbResult;

constexpr std::uint8_t kBulkOut = 0x02, kBulkIn = 0x81;
constexpr std::uint8_t kSerialIndex = 3;
constexpr unsigned kForeverMs =
    60'000; // what "wait without limit" costs a device that never answers

UsbResult ResultOf(const Answer& answer) {
    static constexpr UsbResult results[] = {
        UsbResult::Ok,           UsbResult::Timeout, UsbResult::Stall, UsbResult::NoDevice,
        UsbResult::NoPermission, UsbResult::Busy,    UsbResult::Error, UsbResult::Ok,
    };
    return results[answer.outcome & kResultMask];
}

std::uint32_t Le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

class ScriptedHandle final : public visa::UsbDeviceHandle {
public:
    ScriptedHandle(ScriptedBus& bus, int device) : bus_(bus), device_(device) {}

    UsbResult ReadStringDescriptor(std::uint8_t, std::string& text, unsigned timeoutMs) override {
        const Answer answer = bus_.Next(Stream::Strings, timeoutMs);
        const UsbResult result = Result(answer);
        if (result != UsbResult::Ok)
            return result;
        text = bus_.Serial(device_);
        if (!answer.data.empty() &&
            !visa::DecodeStringDescriptor(answer.data.data(), answer.data.size(), text))
            return UsbResult::Error;
        bus_.Handed(device_, text);
        return UsbResult::Ok;
    }
    bool KernelDriverActive(std::uint8_t) override { return true; }
    UsbResult DetachKernelDriver(std::uint8_t) override { return Present(); }
    UsbResult AttachKernelDriver(std::uint8_t) override { return Present(); }
    UsbResult ClaimInterface(std::uint8_t) override { return Result(bus_.Next(Stream::Opens, 0)); }
    UsbResult ReleaseInterface(std::uint8_t) override { return Present(); }
    UsbResult Control(std::uint8_t, std::uint8_t request, std::uint16_t value, std::uint16_t,
                      std::uint8_t* data, std::uint16_t length, unsigned timeoutMs,
                      int& transferred) override {
        transferred = 0;
        const Answer answer = bus_.Next(Stream::Controls, timeoutMs);
        const UsbResult result = Result(answer);
        if (result != UsbResult::Ok)
            return result;
        // A sound device: status success; INITIATE_ABORT echoes the bTag.
        Bytes reply = answer.data;
        if (reply.empty())
            reply = request == 0 ? Bytes{0, 0}
                                 : Bytes{1, static_cast<std::uint8_t>(value), 0, 0, 0, 0, 0, 0};
        transferred = static_cast<int>(std::min<std::size_t>(reply.size(), length));
        std::copy_n(reply.begin(), transferred, data);
        return UsbResult::Ok;
    }
    UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                      unsigned timeoutMs, int& transferred) override {
        transferred = 0;
        if (endpoint != kBulkOut)
            bus_.Fault("Bulk-OUT to another endpoint");
        bus_.CheckBulkOut(device_, data, length);
        const Answer answer = bus_.Next(Stream::BulkOuts, timeoutMs);
        const UsbResult result = Result(answer);
        if (result == UsbResult::NoDevice)
            return result;
        transferred = answer.data.empty() ? (result == UsbResult::Ok ? length : 0)
                                          : std::min<int>(length, answer.data[0]);
        return result;
    }
    UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length, unsigned timeoutMs,
                     int& transferred) override {
        transferred = 0;
        if (endpoint != kBulkIn)
            bus_.Fault("Bulk-IN from another endpoint");
        const Answer answer = bus_.Next(Stream::BulkIns, timeoutMs);
        const UsbResult result = Result(answer);
        if (result == UsbResult::NoDevice || (result == UsbResult::Timeout && answer.data.empty()))
            return result;
        const Bytes sent = Sent(answer, static_cast<std::size_t>(length));
        transferred = static_cast<int>(std::min<std::size_t>(sent.size(), length));
        std::copy_n(sent.begin(), transferred, data);
        return result;
    }
    UsbResult ClearHalt(std::uint8_t, unsigned timeoutMs) override {
        return Result(bus_.Next(Stream::ClearHalts, timeoutMs));
    }

private:
    UsbResult Present() const { return bus_.Gone(device_) ? UsbResult::NoDevice : UsbResult::Ok; }
    UsbResult Result(const Answer& answer) {
        if (bus_.Gone(device_))
            return UsbResult::NoDevice;
        const UsbResult result = ResultOf(answer);
        if (result == UsbResult::NoDevice)
            bus_.Leave(device_);
        return result;
    }
    Bytes Sent(const Answer& answer, std::size_t length) const {
        if (answer.outcome & kFill) {
            Bytes filled(length, 0);
            for (std::size_t i = 0; i < length && !answer.data.empty(); ++i)
                filled[i] = answer.data[i % answer.data.size()];
            return filled;
        }
        if (!(answer.outcome & kFramed))
            return answer.data;
        const std::uint8_t tag = bus_.RequestTag();
        const auto size = static_cast<std::uint32_t>(answer.data.size());
        Bytes sent = {2,
                      tag,
                      static_cast<std::uint8_t>(~tag),
                      0,
                      static_cast<std::uint8_t>(size),
                      static_cast<std::uint8_t>(size >> 8),
                      static_cast<std::uint8_t>(size >> 16),
                      static_cast<std::uint8_t>(size >> 24),
                      static_cast<std::uint8_t>(answer.outcome & kEom ? 1 : 0),
                      0,
                      0,
                      0};
        sent.insert(sent.end(), answer.data.begin(), answer.data.end());
        sent.resize((sent.size() + 3) / 4 * 4, 0);
        return sent;
    }

    ScriptedBus& bus_;
    int device_;
};

} // namespace

ScriptedBus::ScriptedBus(const std::uint8_t* data, std::size_t size, Clock& clock) : clock_(clock) {
    std::size_t at = 0;
    while (size - at >= 5) {
        const auto stream = static_cast<std::size_t>(data[at] % static_cast<int>(Stream::Count));
        Answer answer{data[at + 1], static_cast<std::uint16_t>(data[at + 2] | data[at + 3] << 8)};
        const std::size_t length = std::min<std::size_t>(data[at + 4], size - at - 5);
        answer.data.assign(data + at + 5, data + at + 5 + length);
        at += 5 + length;
        if (stream == static_cast<std::size_t>(Stream::Devices)) {
            devices_.push_back(std::move(answer));
            continue;
        }
        Played& played = streams_[stream];
        if ((answer.outcome & kRepeat) && played.loop == SIZE_MAX)
            played.loop = played.answers.size();
        played.answers.push_back(std::move(answer));
    }
    if (devices_.empty())
        devices_.push_back({0, 0, Bytes{'T', 'W', '0', '0', '0', '1', '2', '3', '4', '5'}});
}

Answer ScriptedBus::Next(Stream stream, unsigned timeoutMs) {
    Played& played = streams_[static_cast<std::size_t>(stream)];
    if (played.next >= played.answers.size() && played.loop != SIZE_MAX)
        played.next = played.loop;
    Answer answer = played.next < played.answers.size() ? played.answers[played.next++] : Answer{};
    if (played.answers.empty() && stream == Stream::BulkIns)
        answer.outcome = kTimeout; // a device with nothing to say
    if (stream == Stream::Opens)
        return answer; // opening a device and claiming its interface stay on the host
    const unsigned limit = timeoutMs == 0 ? kForeverMs : timeoutMs;
    const bool timedOut = ResultOf(answer) == UsbResult::Timeout;
    clock_.SleepMs(timedOut ? limit : std::min<unsigned>(answer.delayMs, limit));
    return answer;
}

visa::UsbResult ScriptedBus::Enumerate(std::vector<visa::UsbDeviceInfo>& devices) {
    devices.clear();
    for (std::size_t i = 0; i < devices_.size() && i < 100; ++i) {
        const int device = static_cast<int>(i) + generation_ * 100;
        if (Gone(device))
            continue;
        const std::uint8_t flags = devices_[i].outcome;
        const std::uint16_t packet = PacketSize(device);
        devices.push_back(
            {1,
             static_cast<std::uint8_t>(1 + i + static_cast<std::size_t>(generation_ % 2) * 100),
             static_cast<std::uint16_t>(flags & kOtherIds ? 0x0957 : 0x1D7A),
             static_cast<std::uint16_t>(flags & kOtherIds ? 0x1798 : 0x52C1),
             static_cast<std::uint8_t>(flags & kNoSerial ? 0 : kSerialIndex),
             {{0,
               0xFE,
               0x03,
               0x01,
               {{kBulkOut, visa::kUsbTransferBulk, packet},
                {kBulkIn, visa::kUsbTransferBulk, packet}}}}});
    }
    return UsbResult::Ok;
}

int ScriptedBus::DeviceAt(std::uint8_t address) const {
    const int index = (address - 1) % 100;
    return index + generation_ * 100;
}

visa::UsbResult ScriptedBus::Open(const visa::UsbDeviceInfo& device,
                                  std::unique_ptr<visa::UsbDeviceHandle>& handle) {
    const int opened = DeviceAt(device.address);
    if (Gone(opened))
        return UsbResult::NoDevice;
    const UsbResult result = ResultOf(Next(Stream::Opens, 0));
    if (result != UsbResult::Ok)
        return result;
    lastOpened = opened;
    handle = std::make_unique<ScriptedHandle>(*this, opened);
    return UsbResult::Ok;
}

void ScriptedBus::Reboot() {
    ++generation_;
}

std::uint16_t ScriptedBus::PacketSize(int device) const {
    return devices_[static_cast<std::size_t>(device % 100)].outcome & kSmallPackets ? 16 : 64;
}

std::string ScriptedBus::Serial(int device) const {
    const Bytes& serial = devices_[static_cast<std::size_t>(device % 100)].data;
    return std::string(serial.begin(), serial.end());
}

// Resource names match regardless of case, so a device that gave the serial number in
// another case is the right one too, unless a device still on the bus gave it exactly.
bool ScriptedBus::HandedOut(int device, const std::string& serial) const {
    const auto gave = [this](int which, const std::string& wanted, bool exactly) {
        const auto found = handed_.find(which);
        if (found == handed_.end())
            return false;
        return std::any_of(found->second.begin(), found->second.end(), [&](const std::string& s) {
            return exactly ? s == wanted : visa::EqualsNoCase(s, wanted);
        });
    };
    if (gave(device, serial, true))
        return true;
    for (const auto& [other, serials] : handed_)
        if (other != device && !Gone(other) && gave(other, serial, true))
            return false;
    return gave(device, serial, false);
}

void ScriptedBus::Fault(const std::string& text) {
    if (fault.empty())
        fault = text;
}

void ScriptedBus::ExpectWrite(const Bytes& message) {
    expectedWrite_ = message;
    written_ = 0;
    readLimit_ = 0;
}

void ScriptedBus::ExpectRead(std::uint32_t limit) {
    readLimit_ = limit;
    expectedWrite_.clear();
    written_ = 0;
}

// Well-formed USBTMC: bTag 1..255 with its inverse, the next one after the last; a
// DEV_DEP_MSG_OUT that carries the next bytes of the message being written, zero-padded to
// a multiple of 4; a REQUEST_DEV_DEP_MSG_IN for 1 to the read's limit bytes, no TermChar.
void ScriptedBus::CheckBulkOut(int device, const std::uint8_t* bytes, int length) {
    if (length < 12)
        return Fault("a Bulk-OUT transfer shorter than its header");
    const std::uint8_t tag = bytes[1];
    if (tag == 0 || bytes[2] != static_cast<std::uint8_t>(~tag) || bytes[3] != 0)
        return Fault("a Bulk-OUT header with a bad bTag or reserved byte");
    // Each instrument, named by its serial number, has its own sequence, which goes on
    // across its reboots; a read of the serial that gave nothing names no instrument.
    std::string serial;
    if (const auto handed = handed_.find(device); handed != handed_.end())
        for (const std::string& given : handed->second)
            if (!given.empty() && serial.empty())
                serial = given;
    int& last = lastTags_.try_emplace(serial, -1).first->second;
    if (last >= 0 && tag != (last == 127 ? 1 : last + 1))
        return Fault("bTag out of sequence");
    last = tag;
    const std::uint32_t size = Le32(bytes + 4);
    if (bytes[0] == 2) {
        requestTag_ = tag;
        if (length != 12 || size == 0 || size > readLimit_ || bytes[8] != 0 ||
            std::any_of(bytes + 9, bytes + 12, [](std::uint8_t b) { return b != 0; }))
            Fault("a REQUEST_DEV_DEP_MSG_IN beyond the read's limit or malformed");
        return;
    }
    if (bytes[0] != 1)
        return Fault("a Bulk-OUT transfer of unknown MsgID");
    const std::size_t padded = (std::size_t{size} + 3) / 4 * 4;
    if (size == 0 || static_cast<std::size_t>(length) != 12 + padded ||
        written_ + size > expectedWrite_.size() ||
        !std::equal(bytes + 12, bytes + 12 + size, expectedWrite_.begin() + written_) ||
        std::any_of(bytes + 12 + size, bytes + length, [](std::uint8_t b) { return b != 0; }))
        return Fault("a DEV_DEP_MSG_OUT that does not carry the message, padded with zeros");
    written_ += size;
}

} // namespace usbfuzz
