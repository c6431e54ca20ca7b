#include "tests/usb/UsbtmcTestDevice.h"

#include <algorithm>
#include <cstdio>

namespace usbtest {
namespace {

using visa::UsbResult;

constexpr std::uint8_t kSerialIndex = 3;
constexpr std::uint8_t kBulkOut = 0x02, kBulkIn = 0x81;
constexpr ViUInt32 kUnlimitedWaitMs = 60'000;
constexpr std::uint8_t kSuccess = 0x01, kPending = 0x02, kFailed = 0x80, kNotInProgress = 0x81;

std::uint32_t Le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

bool Zero(const std::uint8_t* from, const std::uint8_t* to) {
    return std::all_of(from, to, [](std::uint8_t byte) { return byte == 0; });
}

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

std::string Hex(const Bytes& bytes) {
    std::string text;
    for (const std::uint8_t byte : bytes) {
        char cell[4];
        std::snprintf(cell, sizeof cell, "%02x", byte);
        text += (text.empty() ? "" : " ") + std::string(cell);
    }
    return text;
}

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
    count = std::min<ViUInt32>(limit, static_cast<ViUInt32>(reply.size()));
    end = count == reply.size();
    std::copy_n(reply.begin(), count, buffer);
    const bool nothing = reply.empty();
    reply.erase(0, count);
    return nothing ? VI_ERROR_TMO : VI_SUCCESS;
}

UsbtmcTestDevice::UsbtmcTestDevice(visa::Connection& instrument, DeviceSetup setup,
                                   const Clock& clock)
    : setup(std::move(setup)), kernelDriverBound(this->setup.kernelDriverBound), clock(clock),
      instrument_(instrument) {}

visa::UsbDeviceInfo UsbtmcTestDevice::Info(std::uint8_t address) const {
    constexpr std::uint8_t bulk = visa::kUsbTransferBulk;
    visa::UsbDeviceInfo info{1,
                             address,
                             setup.vendorId,
                             setup.productId,
                             setup.serial.empty() ? std::uint8_t{0} : kSerialIndex,
                             {}};
    const std::uint16_t packet = packetSize;
    if (setup.interfaceNumber != 0)
        info.interfaces.push_back({0, 0xFF, 0x00, 0x00, {{0x01, bulk, 64}, {0x82, bulk, 64}}});
    if (setup.earlierUsbtmcInterface)
        info.interfaces.push_back({*setup.earlierUsbtmcInterface,
                                   0xFE,
                                   0x03,
                                   0x00,
                                   {{0x04, bulk, 64}, {0x85, bulk, 64}}});
    info.interfaces.push_back({setup.interfaceNumber,
                               0xFE,
                               0x03,
                               0x01,
                               {{0x83, visa::kUsbTransferInterrupt, 8},
                                {kBulkOut, bulk, packet},
                                {kBulkIn, bulk, packet}}});
    return info;
}

bool UsbtmcTestDevice::Expect(bool ok, const std::string& fault) {
    if (!ok)
        violations.push_back(fault);
    return ok;
}

UsbResult UsbtmcTestDevice::BulkOut(std::uint8_t endpoint, const std::uint8_t* data, int length,
                                    unsigned timeoutMs, int& transferred) {
    transferred = 0;
    timeoutsMs.push_back(timeoutMs);
    if (!Plugged())
        return Unplugged();
    outs.emplace_back(data, data + length);
    Expect(endpoint == kBulkOut, "bulk-out to another endpoint");
    Expect(!abortStarted_, "a bulk-out transfer while an abort is pending");
    const bool framed = CheckHeader(data, length);
    if (haltedOut)
        return UsbResult::Stall;
    if (bulkOutTimesOut || (holdsOutUntilTerminatorRead && !packets_.empty())) {
        timedOutTag_ = framed ? data[1] : 0;
        haltedOut = sevenBitTags;
        return UsbResult::Timeout;
    }
    transferred = length;
    if (framed && data[0] == 1)
        TakeMessageOut(data, length);
    else if (framed)
        TakeRequest(data, length);
    return UsbResult::Ok;
}

bool UsbtmcTestDevice::CheckHeader(const std::uint8_t* data, int length) {
    if (!Expect(length >= 12, "a bulk-out transfer without a header") ||
        !Expect(data[0] == 1 || data[0] == 2, "unknown MsgID " + std::to_string(data[0])))
        return false;
    const std::uint8_t tag = data[1];
    Expect(tag != 0, "bTag 0");
    Expect(data[2] == static_cast<std::uint8_t>(~tag), "bTagInverse does not match bTag");
    Expect(data[3] == 0, "reserved header byte 3 set");
    Expect(!lastTag_ || tag == (*lastTag_ == 127 ? 1 : *lastTag_ + 1),
           "bTag " + std::to_string(tag) + " out of sequence");
    lastTag_ = tag;
    return true;
}

void UsbtmcTestDevice::TakeMessageOut(const std::uint8_t* data, int length) {
    const std::uint32_t size = Le32(data + 4), padded = (size + 3) / 4 * 4;
    Expect(size != 0, "DEV_DEP_MSG_OUT with TransferSize 0");
    if (!Expect(static_cast<std::uint32_t>(length) == 12 + padded,
                "DEV_DEP_MSG_OUT of " + std::to_string(length) + " bytes for TransferSize " +
                    std::to_string(size)))
        return;
    Expect((data[8] & ~1u) == 0 && Zero(data + 9, data + 12), "reserved DEV_DEP_MSG_OUT bits");
    Expect(Zero(data + 12 + size, data + length), "alignment byte not zero");
    message_.insert(message_.end(), data + 12, data + 12 + size);
    if (data[8] & 1) {
        ViUInt32 written = 0;
        instrument_.Write(message_.data(), static_cast<ViUInt32>(message_.size()), 2000, written);
        message_.clear();
    }
}

void UsbtmcTestDevice::TakeRequest(const std::uint8_t* data, int length) {
    Expect(length == 12, "REQUEST_DEV_DEP_MSG_IN longer than its header");
    Expect(message_.empty(), "REQUEST_DEV_DEP_MSG_IN inside an unfinished message");
    Expect(Le32(data + 4) != 0, "REQUEST_DEV_DEP_MSG_IN for 0 bytes");
    Expect(Zero(data + 8, data + 12), "REQUEST_DEV_DEP_MSG_IN with a TermChar or reserved bytes");
    requests_.push_back({data[1], Le32(data + 4)}); // answered when the host reads Bulk-IN
}

// Asks the instrument for its reply, waiting at most waitMs for one to be ready.
void UsbtmcTestDevice::Answer(ViUInt32 waitMs) {
    if (requests_.empty())
        return;
    const Request request = requests_.front();
    const std::uint32_t size =
        replyChunk != 0 ? std::min(request.maxSize, replyChunk) : request.maxSize;
    Bytes data(size);
    ViUInt32 count = 0;
    bool end = false;
    if (instrument_.Read(data.data(), size, waitMs, count, end) != VI_SUCCESS && count == 0)
        return; // nothing to say yet: the request stays open
    inTag_ = request.tag;
    const std::uint8_t tag = wrongTagOnce ? inTag_ % 255 + 1 : inTag_;
    const auto inverse = static_cast<std::uint8_t>(wrongInverseOnce ? tag : ~tag);
    wrongTagOnce = wrongInverseOnce = false;
    requests_.pop_front();
    Bytes transfer = {2, tag, inverse, 0};
    for (int i = 0; i < 4; ++i)
        transfer.push_back(static_cast<std::uint8_t>(count >> (8 * i)));
    transfer.insert(transfer.end(), {static_cast<std::uint8_t>(end ? 1 : 0), 0, 0, 0});
    transfer.insert(transfer.end(), data.begin(), data.begin() + count);
    transfer.resize((transfer.size() + 3) / 4 * 4, 0);

    packets_.resize(packets_.size() + emptyTransfersBeforeReply);
    emptyTransfersBeforeReply = 0;
    const std::size_t packet = packetSize;
    for (std::size_t at = 0; at < transfer.size(); at += packet)
        packets_.emplace_back(transfer.begin() + at,
                              transfer.begin() + std::min(transfer.size(), at + packet));
    terminatorDue_ = transfer.size() % packet == 0 && lateTerminator;
    if (transfer.size() % packet == 0 && !noShortPacket && !lateTerminator)
        packets_.push_back(Terminator());
}

// The short packet that ends a transfer filling whole packets.
Bytes UsbtmcTestDevice::Terminator() const {
    return alignmentPacket ? Bytes(4, 0) : Bytes{};
}

UsbResult UsbtmcTestDevice::Unplugged() {
    const bool ioError = unplugSeenAsIoError && !ioErrorReported_;
    ioErrorReported_ = ioErrorReported_ || ioError;
    return ioError ? UsbResult::Error : UsbResult::NoDevice;
}

UsbResult UsbtmcTestDevice::BulkIn(std::uint8_t endpoint, std::uint8_t* data, int length,
                                   unsigned timeoutMs, int& transferred) {
    transferred = 0;
    timeoutsMs.push_back(timeoutMs);
    if (unplugAfterBulkIns >= 0 && unplugAfterBulkIns-- == 0) {
        plugged = false;
        requests_.clear();
        packets_.clear();
    }
    if (!Plugged())
        return Unplugged();
    Expect(endpoint == kBulkIn, "bulk-in from another endpoint");
    if (haltedIn)
        return UsbResult::Stall;
    if (packets_.empty() && terminatorDue_) {
        terminatorDue_ = false;
        packets_.push_back(Terminator());
        return UsbResult::Timeout;
    }
    // A device holds a bulk-in transfer until its reply is ready, or the host gives up.
    if (packets_.empty())
        Answer(timeoutMs == 0 ? kUnlimitedWaitMs : timeoutMs);
    while (!packets_.empty()) {
        const Bytes packet = packets_.front();
        const int size = static_cast<int>(packet.size());
        if (!Expect(transferred + size <= length, "a bulk-in buffer that splits a packet"))
            return UsbResult::Error;
        packets_.pop_front();
        std::copy(packet.begin(), packet.end(), data + transferred);
        transferred += size;
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
    if (requestType == 0x80 && request == 0 && length == 2) { // GET_STATUS of the device
        data[0] = data[1] = 0;
        transferred = 2;
        return UsbResult::Ok;
    }
    // INITIATE_ABORT_BULK_OUT 1, CHECK_ABORT_BULK_OUT_STATUS 2, and 3 and 4 for Bulk-IN.
    const bool out = request == 1 || request == 2;
    if (requestType != 0xA2 || request < 1 || request > 4 || index != (out ? kBulkOut : kBulkIn))
        return UsbResult::Stall;
    Bytes reply = request == 1 || request == 3 ? InitiateAbort(out, value) : AbortStatus(out);
    reply.resize(std::min<std::size_t>(reply.size(), length));
    std::copy(reply.begin(), reply.end(), data);
    transferred = static_cast<int>(reply.size());
    char line[32];
    std::snprintf(line, sizeof line, "%02x %u %u %02x -> ", requestType, request, value, index);
    control.push_back(line + Hex(reply));
    return UsbResult::Ok;
}

Bytes UsbtmcTestDevice::InitiateAbort(bool out, std::uint16_t value) {
    std::optional<std::uint8_t> inProgress = timedOutTag_;
    if (!out)
        inProgress = !requests_.empty() ? std::optional(requests_.front().tag)
                     : packets_.empty() ? std::nullopt
                                        : std::optional(inTag_);
    // A device comparing 7 bits keeps only those of the tag it is working on.
    if (inProgress && sevenBitTags)
        inProgress = static_cast<std::uint8_t>(*inProgress & 0x7F);
    std::uint8_t status = !inProgress ? kNotInProgress : *inProgress == value ? kSuccess : kFailed;
    if (sevenBitTags && (out || status == kFailed))
        status = kNotInProgress;
    if (refusesAborts)
        status = kFailed;
    if (status == kSuccess) {
        if (out)
            timedOutTag_.reset();
        else
            requests_.clear();
        if (!out && !abortPendingMs)
            packets_.clear();
        if (abortPendingMs)
            abortStarted_ = clock.NowMs();
    }
    return {status, static_cast<std::uint8_t>(value)};
}

// CHECK_ABORT_..._STATUS: pending until abortPendingMs have passed, asking the host to read
// Bulk-IN while packets are queued there; then the queue is dropped and the abort done.
Bytes UsbtmcTestDevice::AbortStatus(bool out) {
    Bytes reply = {kSuccess, 0, 0, 0, 0, 0, 0, 0};
    if (abortStarted_ &&
        clock.NowMs() - *abortStarted_ < static_cast<std::uint64_t>(abortPendingMs)) {
        reply[0] = kPending;
        reply[1] = !out && !packets_.empty() ? 1 : 0;
        return reply;
    }
    if (abortStarted_ && !out)
        packets_.clear();
    abortStarted_.reset();
    return reply;
}

UsbResult UsbtmcTestDevice::ClearHalt(std::uint8_t endpoint) {
    control.push_back("clear " + Hex({endpoint}));
    if (!Plugged())
        return Unplugged();
    // Clearing the halt resets the pipe: what the device had queued for it is dropped.
    if (endpoint == kBulkIn) {
        haltedIn = false;
        if (!clearHaltKeepsQueue) {
            requests_.clear();
            packets_.clear();
        }
    } else {
        haltedOut = false;
        message_.clear();
    }
    return UsbResult::Ok;
}

visa::UsbResult TestUsbBus::Enumerate(std::vector<visa::UsbDeviceInfo>& found) {
    found.clear();
    std::uint8_t address = 1;
    for (; address <= devices.size(); ++address)
        if (devices[address - 1]->Plugged())
            found.push_back(devices[address - 1]->Info(address));
    for (const auto& [interfaceClass, subClass] : others)
        found.push_back({1,
                         address++,
                         0x046d,
                         0xc077,
                         kSerialIndex,
                         {{0, interfaceClass, subClass, 0, {{0x81, 0x02, 64}, {0x02, 0x02, 64}}}}});
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
