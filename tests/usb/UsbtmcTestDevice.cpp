#include "tests/usb/UsbtmcTestDevice.h"

#include <algorithm>
#include <cstdio>

namespace usbtest {
namespace {

constexpr std::uint8_t kSerialIndex = 3;
constexpr ViUInt32 kUnlimitedWaitMs = 60'000;

std::uint32_t Le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

std::string Hex(unsigned value) {
    char text[8];
    std::snprintf(text, sizeof text, "0x%02x", value);
    return text;
}

class TestHandle final : public visa::UsbDeviceHandle {
public:
    explicit TestHandle(UsbtmcTestDevice& device) : device_(device) {}

    visa::UsbResult ReadStringDescriptor(std::uint8_t index, std::string& text) override {
        if (!device_.Plugged())
            return visa::UsbResult::NoDevice;
        if (index != kSerialIndex)
            return visa::UsbResult::Stall;
        text = device_.Setup().serial;
        return visa::UsbResult::Ok;
    }
    bool KernelDriverActive(std::uint8_t) override { return device_.kernelDriverBound; }
    visa::UsbResult DetachKernelDriver(std::uint8_t) override {
        if (!device_.Plugged())
            return visa::UsbResult::NoDevice;
        ++device_.detaches;
        device_.kernelDriverBound = false;
        return visa::UsbResult::Ok;
    }
    visa::UsbResult AttachKernelDriver(std::uint8_t) override {
        if (!device_.Plugged())
            return visa::UsbResult::NoDevice;
        ++device_.attaches;
        device_.kernelDriverBound = true;
        return visa::UsbResult::Ok;
    }
    visa::UsbResult ClaimInterface(std::uint8_t) override {
        if (!device_.Plugged())
            return visa::UsbResult::NoDevice;
        if (device_.claimBusy)
            return visa::UsbResult::Busy;
        ++device_.claims;
        device_.claimed = true;
        return visa::UsbResult::Ok;
    }
    visa::UsbResult ReleaseInterface(std::uint8_t) override {
        if (!device_.Plugged())
            return visa::UsbResult::NoDevice;
        ++device_.releases;
        device_.claimed = false;
        return visa::UsbResult::Ok;
    }
    visa::UsbResult Control(std::uint8_t requestType, std::uint8_t request, std::uint16_t value,
                            std::uint16_t index, std::uint8_t* data, std::uint16_t length,
                            unsigned timeoutMs, int& transferred) override {
        return device_.Control(requestType, request, value, index, data, length, timeoutMs,
                               transferred);
    }
    visa::UsbResult BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                            unsigned timeoutMs, int& transferred) override {
        return device_.BulkOut(endpoint, data, length, timeoutMs, transferred);
    }
    visa::UsbResult BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                           unsigned timeoutMs, int& transferred) override {
        return device_.BulkIn(endpoint, data, length, timeoutMs, transferred);
    }
    visa::UsbResult ClearHalt(std::uint8_t endpoint) override {
        return device_.ClearHalt(endpoint);
    }

private:
    UsbtmcTestDevice& device_;
};

} // namespace

std::string HexDump(const Bytes& bytes) {
    std::string text;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x", bytes[i]);
        text += cell;
        text += (i % 16 == 15 || i + 1 == bytes.size()) ? "\n" : " ";
    }
    return text;
}

Bytes BytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

ViStatus ScriptedInstrument::Write(const ViByte* data, ViUInt32 count, ViUInt32,
                                   ViUInt32& written) {
    const std::string command(reinterpret_cast<const char*>(data), count);
    received.push_back(command);
    if (const auto reply = replies.find(command); reply != replies.end())
        pending_ = reply->second;
    written = count;
    return VI_SUCCESS;
}

ViStatus ScriptedInstrument::Read(ViByte* buffer, ViUInt32 limit, ViUInt32, ViUInt32& count,
                                  bool& end) {
    count = 0;
    end = false;
    if (pending_.empty())
        return VI_ERROR_TMO;
    count = std::min<ViUInt32>(limit, static_cast<ViUInt32>(pending_.size()));
    std::copy_n(pending_.begin(), count, buffer);
    pending_.erase(0, count);
    end = pending_.empty();
    return VI_SUCCESS;
}

UsbtmcTestDevice::UsbtmcTestDevice(visa::Connection& instrument, DeviceSetup setup)
    : kernelDriverBound(setup.kernelDriverBound), instrument_(instrument),
      setup_(std::move(setup)) {}

visa::UsbDeviceInfo UsbtmcTestDevice::Info(std::uint8_t address) const {
    visa::UsbDeviceInfo info;
    info.bus = 1;
    info.address = address;
    info.vendorId = setup_.vendorId;
    info.productId = setup_.productId;
    info.serialIndex = setup_.serial.empty() ? 0 : kSerialIndex;
    if (setup_.interfaceNumber != 0)
        info.interfaces.push_back({0, 0xFF, 0x00, 0x00, {{0x01, 0x02, 64}, {0x82, 0x02, 64}}});
    info.interfaces.push_back({setup_.interfaceNumber,
                               setup_.interfaceClass,
                               setup_.subClass,
                               setup_.protocol,
                               {{0x83, visa::kUsbTransferInterrupt, 8},
                                {kBulkOut, visa::kUsbTransferBulk, setup_.packetSize},
                                {kBulkIn, visa::kUsbTransferBulk, setup_.packetSize}}});
    return info;
}

std::vector<Bytes> UsbtmcTestDevice::BulkOuts() const {
    std::vector<Bytes> outs;
    for (const Exchange& exchange : transcript)
        if (exchange.kind == Exchange::BulkOut)
            outs.push_back(exchange.bytes);
    return outs;
}

std::vector<Exchange> UsbtmcTestDevice::ControlTraffic() const {
    std::vector<Exchange> traffic;
    for (const Exchange& exchange : transcript)
        if (exchange.kind == Exchange::Control || exchange.kind == Exchange::ClearHalt)
            traffic.push_back(exchange);
    return traffic;
}

visa::UsbResult UsbtmcTestDevice::BulkOut(std::uint8_t endpoint, const std::uint8_t* data,
                                          int length, unsigned timeoutMs, int& transferred) {
    transferred = 0;
    Exchange exchange;
    exchange.kind = Exchange::BulkOut;
    exchange.endpoint = endpoint;
    exchange.bytes.assign(data, data + length);
    exchange.timeoutMs = timeoutMs;
    const auto finish = [&](visa::UsbResult result) {
        exchange.result = result;
        transcript.push_back(exchange);
        return result;
    };
    if (!Plugged())
        return finish(visa::UsbResult::NoDevice);
    if (endpoint != kBulkOut)
        Violation("bulk-out to endpoint " + Hex(endpoint));
    if (stallNextBulkOut) {
        stallNextBulkOut = false;
        haltedOut_ = true;
    }
    if (haltedOut_)
        return finish(visa::UsbResult::Stall);
    if (bulkOutTimesOut) {
        if (length >= 2)
            timedOutTag_ = data[1];
        return finish(visa::UsbResult::Timeout);
    }
    transferred = length;
    if (!CheckHeader(data, length))
        return finish(visa::UsbResult::Ok);
    if (data[0] == 1)
        TakeMessageOut(data, length);
    else if (data[0] == 2)
        TakeRequest(data, length);
    else
        Violation("unknown MsgID " + Hex(data[0]));
    return finish(visa::UsbResult::Ok);
}

bool UsbtmcTestDevice::CheckHeader(const std::uint8_t* data, int length) {
    if (length < 12) {
        Violation("bulk-out transfer of " + std::to_string(length) + " bytes, without a header");
        return false;
    }
    const std::uint8_t tag = data[1];
    if (tag == 0)
        Violation("bTag 0");
    if (data[2] != static_cast<std::uint8_t>(~tag))
        Violation("bTagInverse " + Hex(data[2]) + " for bTag " + Hex(tag));
    if (data[3] != 0)
        Violation("reserved header byte 3 is " + Hex(data[3]));
    if (lastTag_) {
        const std::uint8_t next = *lastTag_ == 255 ? 1 : *lastTag_ + 1;
        if (tag != next)
            Violation("bTag " + std::to_string(tag) + " after " + std::to_string(*lastTag_));
    }
    lastTag_ = tag;
    return true;
}

void UsbtmcTestDevice::TakeMessageOut(const std::uint8_t* data, int length) {
    const std::uint32_t size = Le32(data + 4);
    if (size == 0)
        Violation("DEV_DEP_MSG_OUT with TransferSize 0");
    const std::uint32_t padded = (size + 3) / 4 * 4;
    if (static_cast<std::uint32_t>(length) != 12 + padded) {
        Violation("DEV_DEP_MSG_OUT of " + std::to_string(length) + " bytes for TransferSize " +
                  std::to_string(size));
        return;
    }
    if (data[8] & ~1u || data[9] || data[10] || data[11])
        Violation("reserved bits set in DEV_DEP_MSG_OUT attributes");
    for (std::uint32_t i = 12 + size; i < 12 + padded; ++i)
        if (data[i] != 0)
            Violation("alignment byte not zero");
    message_.insert(message_.end(), data + 12, data + 12 + size);
    if (data[8] & 1) {
        ViUInt32 written = 0;
        instrument_.Write(message_.data(), static_cast<ViUInt32>(message_.size()), 2000, written);
        message_.clear();
    }
}

void UsbtmcTestDevice::TakeRequest(const std::uint8_t* data, int length) {
    if (length != 12)
        Violation("REQUEST_DEV_DEP_MSG_IN of " + std::to_string(length) + " bytes");
    if (!message_.empty())
        Violation("REQUEST_DEV_DEP_MSG_IN inside an unfinished message");
    const std::uint32_t size = Le32(data + 4);
    if (size == 0)
        Violation("REQUEST_DEV_DEP_MSG_IN for 0 bytes");
    if (data[8] != 0 || data[9] != 0 || data[10] || data[11])
        Violation("REQUEST_DEV_DEP_MSG_IN with a TermChar or reserved bytes set");
    request_ = Request{data[1], size}; // answered when the host reads Bulk-IN
}

// Asks the instrument for its reply, waiting at most waitMs for one to be ready.
void UsbtmcTestDevice::Answer(ViUInt32 waitMs) {
    if (!request_ || holdReplies)
        return;
    std::uint32_t size = request_->maxSize;
    if (replyChunk != 0)
        size = std::min(size, replyChunk);
    Bytes data(size);
    ViUInt32 count = 0;
    bool end = false;
    const ViStatus status = instrument_.Read(data.data(), size, waitMs, count, end);
    if (status != VI_SUCCESS && count == 0)
        return; // nothing to say yet: the request stays open
    data.resize(count);

    std::uint8_t tag = request_->tag;
    inTag_ = tag;
    if (wrongTagOnce) {
        wrongTagOnce = false;
        tag = tag == 255 ? 1 : tag + 1;
    }
    Bytes transfer = {2, tag, static_cast<std::uint8_t>(~tag), 0};
    for (int i = 0; i < 4; ++i)
        transfer.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    transfer.insert(transfer.end(), {static_cast<std::uint8_t>(end ? 1 : 0), 0, 0, 0});
    transfer.insert(transfer.end(), data.begin(), data.end());
    transfer.resize((transfer.size() + 3) / 4 * 4, 0);
    request_.reset();

    for (; emptyTransfersBeforeReply > 0; --emptyTransfersBeforeReply)
        packets_.emplace_back();
    for (std::size_t at = 0; at < transfer.size(); at += setup_.packetSize) {
        const std::size_t stop = std::min(transfer.size(), at + setup_.packetSize);
        packets_.emplace_back(transfer.begin() + at, transfer.begin() + stop);
    }
    if (transfer.size() % setup_.packetSize == 0 && !noShortPacket)
        packets_.emplace_back();
}

visa::UsbResult UsbtmcTestDevice::BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                                         unsigned timeoutMs, int& transferred) {
    transferred = 0;
    Exchange exchange;
    exchange.kind = Exchange::BulkIn;
    exchange.endpoint = endpoint;
    exchange.timeoutMs = timeoutMs;
    const auto finish = [&](visa::UsbResult result) {
        exchange.result = result;
        exchange.bytes.assign(data, data + transferred);
        transcript.push_back(exchange);
        return result;
    };
    if (unplugAfterBulkIns == 0)
        plugged_ = false;
    if (unplugAfterBulkIns >= 0)
        --unplugAfterBulkIns;
    if (!Plugged())
        return finish(visa::UsbResult::NoDevice);
    if (endpoint != kBulkIn)
        Violation("bulk-in from endpoint " + Hex(endpoint));
    if (stallNextBulkIn) {
        stallNextBulkIn = false;
        haltedIn_ = true;
    }
    if (haltedIn_)
        return finish(visa::UsbResult::Stall);
    // A device holds a bulk-in transfer until its reply is ready, or the host gives up.
    if (packets_.empty())
        Answer(timeoutMs == 0 ? kUnlimitedWaitMs : timeoutMs);
    int room = length;
    while (!packets_.empty()) {
        const Bytes& packet = packets_.front();
        if (static_cast<int>(packet.size()) > room) {
            Violation("bulk-in buffer of " + std::to_string(length) + " bytes splits a packet");
            return finish(visa::UsbResult::Error);
        }
        std::copy(packet.begin(), packet.end(), data + transferred);
        transferred += static_cast<int>(packet.size());
        room -= static_cast<int>(packet.size());
        const bool shortPacket = packet.size() < setup_.packetSize;
        packets_.pop_front();
        if (shortPacket || room == 0)
            return finish(visa::UsbResult::Ok);
    }
    // Only full packets came and the buffer is not full: the host waits for more.
    return finish(visa::UsbResult::Timeout);
}

visa::UsbResult UsbtmcTestDevice::Control(std::uint8_t requestType, std::uint8_t request,
                                          std::uint16_t value, std::uint16_t index,
                                          std::uint8_t* data, std::uint16_t length,
                                          unsigned timeoutMs, int& transferred) {
    transferred = 0;
    Exchange exchange;
    exchange.kind = Exchange::Control;
    exchange.requestType = requestType;
    exchange.request = request;
    exchange.value = value;
    exchange.index = index;
    exchange.timeoutMs = timeoutMs;
    const auto finish = [&](visa::UsbResult result, Bytes reply = {}) {
        reply.resize(std::min<std::size_t>(reply.size(), length));
        std::copy(reply.begin(), reply.end(), data);
        transferred = static_cast<int>(reply.size());
        exchange.bytes = reply;
        exchange.result = result;
        transcript.push_back(exchange);
        return result;
    };
    if (!Plugged())
        return finish(visa::UsbResult::NoDevice);
    if (requestType != 0xA2)
        return finish(visa::UsbResult::Stall);
    switch (request) {
    case 1: { // INITIATE_ABORT_BULK_OUT
        if (index != kBulkOut)
            return finish(visa::UsbResult::Stall);
        std::uint8_t status = 0x81;
        if (timedOutTag_)
            status = *timedOutTag_ == value ? 0x01 : 0x80;
        if (status == 0x01)
            timedOutTag_.reset();
        return finish(visa::UsbResult::Ok, {status, static_cast<std::uint8_t>(value)});
    }
    case 3: { // INITIATE_ABORT_BULK_IN
        if (index != kBulkIn)
            return finish(visa::UsbResult::Stall);
        const bool inProgress = request_ || !packets_.empty();
        std::uint8_t tag = request_ ? request_->tag : inTag_;
        std::uint8_t status = 0x81;
        if (inProgress)
            status = tag == value ? 0x01 : 0x80;
        if (status == 0x01) {
            request_.reset();
            packets_.clear();
        }
        return finish(visa::UsbResult::Ok, {status, tag});
    }
    case 2:   // CHECK_ABORT_BULK_OUT_STATUS
    case 4: { // CHECK_ABORT_BULK_IN_STATUS
        if (index != (request == 2 ? kBulkOut : kBulkIn))
            return finish(visa::UsbResult::Stall);
        return finish(visa::UsbResult::Ok, {0x01, 0, 0, 0, 0, 0, 0, 0});
    }
    default:
        return finish(visa::UsbResult::Stall);
    }
}

visa::UsbResult UsbtmcTestDevice::ClearHalt(std::uint8_t endpoint) {
    Exchange exchange;
    exchange.kind = Exchange::ClearHalt;
    exchange.endpoint = endpoint;
    exchange.result = Plugged() ? visa::UsbResult::Ok : visa::UsbResult::NoDevice;
    transcript.push_back(exchange);
    // Clearing the halt resets the pipe: what the device had queued for it is dropped.
    if (endpoint == kBulkIn) {
        haltedIn_ = false;
        request_.reset();
        packets_.clear();
    }
    if (endpoint == kBulkOut) {
        haltedOut_ = false;
        message_.clear();
    }
    return exchange.result;
}

void TestUsbBus::AddOther(std::uint16_t vendorId, std::uint16_t productId,
                          std::uint8_t interfaceClass, std::uint8_t subClass) {
    visa::UsbDeviceInfo info;
    info.bus = 1;
    info.vendorId = vendorId;
    info.productId = productId;
    info.serialIndex = kSerialIndex;
    info.interfaces.push_back(
        {0, interfaceClass, subClass, 0, {{0x81, 0x02, 64}, {0x02, 0x02, 64}}});
    others_.push_back(info);
}

visa::UsbResult TestUsbBus::Enumerate(std::vector<visa::UsbDeviceInfo>& devices) {
    devices.clear();
    std::uint8_t address = 1;
    for (UsbtmcTestDevice* device : devices_) {
        if (device->Plugged())
            devices.push_back(device->Info(address));
        ++address;
    }
    for (visa::UsbDeviceInfo other : others_) {
        other.address = address++;
        devices.push_back(other);
    }
    return visa::UsbResult::Ok;
}

visa::UsbResult TestUsbBus::Open(const visa::UsbDeviceInfo& device,
                                 std::unique_ptr<visa::UsbDeviceHandle>& handle) {
    const std::size_t index = device.address - 1u;
    if (index >= devices_.size())
        return visa::UsbResult::Error; // the other devices are never opened by the tests
    UsbtmcTestDevice& found = *devices_[index];
    if (!found.Plugged())
        return visa::UsbResult::NoDevice;
    if (found.permissionDenied)
        return visa::UsbResult::NoPermission;
    handle = OpenHandle(found);
    return visa::UsbResult::Ok;
}

std::unique_ptr<visa::UsbDeviceHandle> OpenHandle(UsbtmcTestDevice& device) {
    ++device.opens;
    return std::make_unique<TestHandle>(device);
}

} // namespace usbtest
