#include "tests/kernel-usb/UsbtmcFunction.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>
#include <thread>
#include <unistd.h>

namespace kernelusb {
namespace {

constexpr std::size_t kHeaderSize = 12;
constexpr std::uint8_t kDevDepMsgOut = 1, kRequestDevDepMsgIn = 2, kDevDepMsgIn = 2;
constexpr std::uint8_t kSuccess = 0x01, kPending = 0x02, kFailed = 0x80, kNotInProgress = 0x81;
// Class requests: on an endpoint (0xA2) or on the interface (0xA1).
constexpr std::uint8_t kToEndpoint = 0xA2, kToInterface = 0xA1;
constexpr std::uint8_t kInitiateAbortBulkOut = 1, kCheckAbortBulkOutStatus = 2,
                       kInitiateAbortBulkIn = 3, kCheckAbortBulkInStatus = 4, kInitiateClear = 5,
                       kCheckClearStatus = 6, kGetCapabilities = 7;
// How long the bulk-in thread waits on the instrument before it looks for an abort again.
constexpr std::uint32_t kReplySliceMs = 20;
// After a failed transfer (the gadget left the bus), before the endpoint is tried again.
constexpr auto kRetryPause = std::chrono::milliseconds(5);

std::uint32_t Le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

void PutLe32(Bytes& out, std::uint32_t value) {
    for (int i = 0; i < 4; ++i)
        out.push_back(static_cast<std::uint8_t>(value >> (8 * i)));
}

std::size_t RoundUp(std::size_t size, std::size_t multiple) {
    return (size + multiple - 1) / multiple * multiple;
}

// One read of an OUT endpoint completes when its buffer is full or a short packet arrives.
ssize_t ReadEndpoint(int fd, std::uint8_t* buffer, std::size_t length) {
    for (;;) {
        const ssize_t got = ::read(fd, buffer, length);
        if (got >= 0 || errno != EINTR)
            return got;
    }
}

} // namespace

UsbtmcFunction::UsbtmcFunction(const FunctionFsFiles& files, InstrumentPort& port,
                               FunctionSettings settings, std::function<void()> rebooting)
    : files_(files), port_(port), settings_(settings), rebooting_(std::move(rebooting)) {
    std::thread([this] { ControlLoop(); }).detach();
    std::thread([this] { BulkOutLoop(); }).detach();
    std::thread([this] { BulkInLoop(); }).detach();
}

void UsbtmcFunction::Reset() {
    const std::lock_guard lock(mutex_);
    ForgetTransfers();
}

void UsbtmcFunction::ForgetTransfers() {
    ++generation_;
    requests_.clear();
    preparingTag_.reset();
    message_.clear();
    messageOpen_ = false;
    requestArrived_.notify_all();
}

void UsbtmcFunction::ControlLoop() {
    std::uint8_t events[kEventSize * 4];
    for (;;) {
        const ssize_t got = ::read(files_.Ep0(), events, sizeof events);
        if (got < 0) {
            if (errno != EINTR)
                std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        for (ssize_t at = 0; at + static_cast<ssize_t>(kEventSize) <= got; at += kEventSize) {
            const Event event = ParseEvent(events + at);
            if (event.type == EventType::Setup)
                HandleSetup(event.setup);
            else if (event.type == EventType::Disable || event.type == EventType::Unbind)
                Reset();
        }
    }
}

// An IN request is answered by writing its data to ep0; anything the function does not
// know is stalled, which FunctionFS does when ep0 is read in an IN request's place.
void UsbtmcFunction::HandleSetup(const ControlRequest& setup) {
    const bool in = (setup.requestType & 0x80) != 0;
    const Bytes reply = ClassReply(setup);
    if (in && !reply.empty()) {
        const std::size_t length = std::min<std::size_t>(reply.size(), setup.length);
        if (::write(files_.Ep0(), reply.data(), length) < 0)
            std::fprintf(stderr, "device: the reply to class request %u failed: %s\n",
                         unsigned{setup.request}, std::strerror(errno));
        return;
    }
    std::uint8_t none = 0;
    if (in)
        (void)!::read(files_.Ep0(), &none, 0); // stall
    else
        (void)!::write(files_.Ep0(), &none, 0); // stall: no OUT request is known
}

Bytes UsbtmcFunction::ClassReply(const ControlRequest& setup) {
    const std::lock_guard lock(mutex_);
    if (setup.requestType == kToInterface)
        return InterfaceReply(setup.request);
    if (setup.requestType == kToEndpoint)
        return EndpointReply(setup.request, static_cast<std::uint8_t>(setup.value));
    return {};
}

Bytes UsbtmcFunction::InterfaceReply(std::uint8_t request) {
    switch (request) {
    case kGetCapabilities: {
        Bytes reply(0x18, 0);
        reply[0] = kSuccess;
        reply[3] = 0x01; // bcdUSBTMC 1.00; no optional capability
        return reply;
    }
    case kInitiateClear:
        ForgetTransfers();
        return {kSuccess};
    case kCheckClearStatus:
        return {kSuccess, 0};
    default:
        return {};
    }
}

// The abort requests name the transfer by the bTag in wValue.
Bytes UsbtmcFunction::EndpointReply(std::uint8_t request, std::uint8_t tag) {
    switch (request) {
    case kInitiateAbortBulkOut: {
        const bool inProgress = messageOpen_ && messageTag_ == tag;
        if (inProgress) {
            message_.clear();
            messageOpen_ = false;
        }
        return {inProgress ? kSuccess : kNotInProgress, tag};
    }
    case kCheckAbortBulkOutStatus:
        return {kSuccess, 0, 0, 0, 0, 0, 0, 0};
    case kInitiateAbortBulkIn:
        return {AbortBulkIn(tag), tag};
    case kCheckAbortBulkInStatus:
        // While the aborted transfer still waits on Bulk-IN, the host must read it away.
        if (writingTag_)
            return {kPending, 1, 0, 0, 0, 0, 0, 0};
        return {kSuccess, 0, 0, 0, 0, 0, 0, 0};
    default:
        return {};
    }
}

// A request not yet answered is dropped at once; a reply already on Bulk-IN stays there
// until the host has read it away.
std::uint8_t UsbtmcFunction::AbortBulkIn(std::uint8_t tag) {
    std::optional<std::uint8_t> current = writingTag_ ? writingTag_ : preparingTag_;
    if (!current && !requests_.empty())
        current = requests_.front().tag;
    if (!current)
        return kNotInProgress;
    if (*current != tag)
        return kFailed;
    if (!writingTag_) {
        ++generation_;
        requests_.clear();
        preparingTag_.reset();
    }
    return kSuccess;
}

void UsbtmcFunction::BulkOutLoop() {
    Bytes transfer;
    for (;;) {
        if (!ReadTransfer(transfer)) {
            std::this_thread::sleep_for(kRetryPause);
            continue;
        }
        TakeTransfer(transfer);
    }
}

// One Bulk-OUT transfer: the packet with the header, then the rest that the header announces.
bool UsbtmcFunction::ReadTransfer(Bytes& transfer) {
    const std::size_t packet = settings_.packetSize;
    transfer.resize(packet);
    const ssize_t first = ReadEndpoint(files_.BulkOut(), transfer.data(), packet);
    if (first < static_cast<ssize_t>(kHeaderSize))
        return false;
    std::size_t total = kHeaderSize;
    if (transfer[0] == kDevDepMsgOut)
        total += RoundUp(Le32(&transfer[4]), 4);
    const std::size_t have = static_cast<std::size_t>(first);
    if (total <= have || have < packet) {
        transfer.resize(have);
        return true;
    }
    transfer.resize(have + RoundUp(total - have, packet));
    const ssize_t rest =
        ReadEndpoint(files_.BulkOut(), transfer.data() + have, transfer.size() - have);
    if (rest < 0)
        return false;
    transfer.resize(have + static_cast<std::size_t>(rest));
    return true;
}

void UsbtmcFunction::TakeTransfer(const Bytes& transfer) {
    const std::uint8_t tag = transfer[1];
    if (transfer[0] == kRequestDevDepMsgIn) {
        const std::lock_guard lock(mutex_);
        requests_.push_back({tag, Le32(&transfer[4])});
        requestArrived_.notify_all();
        return;
    }
    if (transfer[0] != kDevDepMsgOut)
        return;
    const std::size_t size =
        std::min<std::size_t>(Le32(&transfer[4]), transfer.size() - kHeaderSize);
    Bytes whole;
    {
        const std::lock_guard lock(mutex_);
        message_.insert(message_.end(), transfer.begin() + kHeaderSize,
                        transfer.begin() + kHeaderSize + static_cast<std::ptrdiff_t>(size));
        messageTag_ = tag;
        messageOpen_ = (transfer[8] & 1) == 0;
        if (messageOpen_)
            return;
        whole.swap(message_);
    }
    port_.Deliver(whole);
    if (port_.OffTheBus())
        rebooting_();
}

void UsbtmcFunction::BulkInLoop() {
    for (;;) {
        Request request;
        std::uint64_t generation = 0;
        NextRequest(request, generation);
        AnswerRequest(request, generation);
    }
}

void UsbtmcFunction::NextRequest(Request& request, std::uint64_t& generation) {
    std::unique_lock lock(mutex_);
    requestArrived_.wait(lock, [this] { return !requests_.empty(); });
    request = requests_.front();
    requests_.pop_front();
    preparingTag_ = request.tag;
    generation = generation_;
}

// Waits for the instrument's reply in short slices, so that an abort or a reset ends the
// wait, then writes the DEV_DEP_MSG_IN transfer.
void UsbtmcFunction::AnswerRequest(const Request& request, std::uint64_t generation) {
    Bytes data;
    bool end = false;
    for (;;) {
        {
            const std::lock_guard lock(mutex_);
            if (generation != generation_)
                return;
        }
        if (port_.Reply(request.maxSize, kReplySliceMs, data, end))
            break;
    }
    Bytes transfer = {kDevDepMsgIn, request.tag, static_cast<std::uint8_t>(~request.tag), 0};
    PutLe32(transfer, static_cast<std::uint32_t>(data.size()));
    transfer.insert(transfer.end(), {static_cast<std::uint8_t>(end ? 1 : 0), 0, 0, 0});
    transfer.insert(transfer.end(), data.begin(), data.end());
    transfer.resize(RoundUp(transfer.size(), 4), 0);
    {
        const std::lock_guard lock(mutex_);
        if (generation != generation_)
            return;
        preparingTag_.reset();
        writingTag_ = request.tag;
    }
    WriteIn(transfer); // fails when the gadget leaves the bus, which resets everything anyway
    const std::lock_guard lock(mutex_);
    writingTag_.reset();
}

bool UsbtmcFunction::WriteIn(const Bytes& transfer) {
    if (::write(files_.BulkIn(), transfer.data(), transfer.size()) !=
        static_cast<ssize_t>(transfer.size()))
        return false;
    if (settings_.zeroLengthPackets && transfer.size() % settings_.packetSize == 0)
        return ::write(files_.BulkIn(), transfer.data(), 0) == 0;
    return true;
}

} // namespace kernelusb
