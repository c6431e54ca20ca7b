#include "tests/usbtmc-device/UsbtmcDeviceModel.h"

#include <algorithm>

namespace usbtmcdevice {
namespace {

constexpr std::uint8_t kDevDepMsgOut = 1, kRequestDevDepMsgIn = 2, kDevDepMsgIn = 2;
constexpr std::uint8_t kSuccess = 0x01, kPending = 0x02, kFailed = 0x80, kNotInProgress = 0x81;
// Class requests: on an endpoint (0xA2) or on the interface (0xA1).
constexpr std::uint8_t kToEndpoint = 0xA2, kToInterface = 0xA1;
constexpr std::uint8_t kCheckAbortBulkInStatus = 4, kGetCapabilities = 7;

std::uint32_t Le32(const std::uint8_t* at) {
    return std::uint32_t{at[0]} | std::uint32_t{at[1]} << 8 | std::uint32_t{at[2]} << 16 |
           std::uint32_t{at[3]} << 24;
}

std::size_t PaddedToFour(std::size_t size) {
    return (size + 3) / 4 * 4;
}

bool Zero(const std::uint8_t* from, const std::uint8_t* to) {
    return std::all_of(from, to, [](std::uint8_t byte) { return byte == 0; });
}

} // namespace

UsbtmcDeviceModel::UsbtmcDeviceModel(visa::Connection& instrument, const Clock& clock)
    : instrument_(instrument), clock_(clock) {}

std::size_t UsbtmcDeviceModel::TransferLength(const std::uint8_t* header) {
    return kHeaderSize + (header[0] == kDevDepMsgOut ? PaddedToFour(Le32(header + 4)) : 0);
}

bool UsbtmcDeviceModel::Expect(bool ok, const std::string& fault) {
    if (!ok)
        violations.push_back(fault);
    if (!ok && onViolation)
        onViolation(fault);
    return ok;
}

void UsbtmcDeviceModel::TakeOut(const std::uint8_t* data, std::size_t length, OutFate fate) {
    Bytes whole;
    {
        const std::lock_guard lock(mutex_);
        Expect(!abortStarted_, "a bulk-out transfer while an abort is pending");
        const bool framed = CheckHeader(data, length);
        if (fate == OutFate::TimedOut)
            timedOutTag_ = framed ? data[1] : 0;
        if (fate != OutFate::Taken || !framed)
            return;
        if (data[0] == kRequestDevDepMsgIn)
            return TakeRequest(data, length);
        if (!TakeMessageOut(data, length, whole))
            return;
    }
    ViUInt32 written = 0;
    instrument_.Write(whole.data(), static_cast<ViUInt32>(whole.size()), 2000, written);
}

bool UsbtmcDeviceModel::CheckHeader(const std::uint8_t* data, std::size_t length) {
    if (!Expect(length >= kHeaderSize, "a bulk-out transfer without a header") ||
        !Expect(data[0] == kDevDepMsgOut || data[0] == kRequestDevDepMsgIn,
                "unknown MsgID " + std::to_string(data[0])))
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

// Collects the payload; true with the whole message in whole once EOM has come.
bool UsbtmcDeviceModel::TakeMessageOut(const std::uint8_t* data, std::size_t length, Bytes& whole) {
    const std::uint32_t size = Le32(data + 4);
    Expect(size != 0, "DEV_DEP_MSG_OUT with TransferSize 0");
    if (!Expect(length == TransferLength(data), "DEV_DEP_MSG_OUT of " + std::to_string(length) +
                                                    " bytes for TransferSize " +
                                                    std::to_string(size)))
        return false;
    Expect((data[8] & ~1u) == 0 && Zero(data + 9, data + 12), "reserved DEV_DEP_MSG_OUT bits");
    Expect(Zero(data + kHeaderSize + size, data + length), "alignment byte not zero");
    message_.insert(message_.end(), data + kHeaderSize, data + kHeaderSize + size);
    openMessageTag_ = data[1];
    if ((data[8] & 1) == 0)
        return false;
    openMessageTag_.reset();
    whole.swap(message_);
    return true;
}

void UsbtmcDeviceModel::TakeRequest(const std::uint8_t* data, std::size_t length) {
    Expect(length == kHeaderSize, "REQUEST_DEV_DEP_MSG_IN longer than its header");
    Expect(message_.empty(), "REQUEST_DEV_DEP_MSG_IN inside an unfinished message");
    Expect(Le32(data + 4) != 0, "REQUEST_DEV_DEP_MSG_IN for 0 bytes");
    Expect(Zero(data + 8, data + 12), "REQUEST_DEV_DEP_MSG_IN with a TermChar or reserved bytes");
    requests_.push_back({data[1], Le32(data + 4)});
    requestArrived_.notify_all();
}

std::optional<Bytes> UsbtmcDeviceModel::Answer(std::uint32_t replyWaitMs,
                                               std::chrono::milliseconds requestWait) {
    Request request{};
    {
        std::unique_lock lock(mutex_);
        if (!answering_) {
            if (!requestArrived_.wait_for(lock, requestWait, [this] { return !requests_.empty(); }))
                return std::nullopt;
            answering_ = requests_.front();
            requests_.pop_front();
        }
        request = *answering_;
    }
    const std::uint32_t asked = ignoresTransferSize ? 1u << 16 : request.maxSize;
    const std::uint32_t size = replyChunk != 0 ? std::min(asked, replyChunk) : asked;
    Bytes data(size);
    ViUInt32 count = 0;
    bool end = false;
    if (instrument_.Read(data.data(), size, replyWaitMs, count, end) != VI_SUCCESS && count == 0)
        return std::nullopt;
    data.resize(count);
    const std::lock_guard lock(mutex_);
    if (!answering_)
        return std::nullopt; // aborted while the instrument was asked: its reply is lost
    answering_.reset();
    sending_ = request.tag;
    return Transfer(request.tag, data, end);
}

Bytes UsbtmcDeviceModel::Transfer(std::uint8_t tag, const Bytes& data, bool end) {
    if (wrongTagOnce)
        tag = tag % 255 + 1;
    const auto inverse = static_cast<std::uint8_t>(wrongInverseOnce ? tag : ~tag);
    wrongTagOnce = wrongInverseOnce = false;
    Bytes transfer = {kDevDepMsgIn, tag, inverse, 0};
    for (int i = 0; i < 4; ++i)
        transfer.push_back(static_cast<std::uint8_t>(data.size() >> (8 * i)));
    transfer.insert(transfer.end(), {static_cast<std::uint8_t>(end ? 1 : 0), 0, 0, 0});
    transfer.insert(transfer.end(), data.begin(), data.end());
    transfer.resize(PaddedToFour(transfer.size()), 0);
    return transfer;
}

void UsbtmcDeviceModel::ReplyGone() {
    const std::lock_guard lock(mutex_);
    sending_.reset();
}

std::optional<Bytes> UsbtmcDeviceModel::ClassRequest(const ControlRequest& setup) {
    const std::lock_guard lock(mutex_);
    std::optional<Bytes> reply;
    const std::uint8_t request = setup.request;
    if (setup.requestType == kToEndpoint && request >= 1 && request <= kCheckAbortBulkInStatus) {
        const bool out = request <= 2, initiate = request % 2 == 1;
        reply = initiate ? InitiateAbort(out, setup.value) : AbortStatus(out);
    } else if (setup.requestType == kToInterface && request == kGetCapabilities) {
        reply = Bytes(0x18, 0);
        (*reply)[0] = kSuccess;
        (*reply)[3] = 0x01; // bcdUSBTMC 1.00; no optional capability
    }
    if (reply && reply->size() > setup.length)
        reply->resize(setup.length);
    return reply;
}

// The transfer in progress: on Bulk-OUT one not taken, else an unfinished message; on
// Bulk-IN the answer on its way, else the request being answered or next in turn.
std::optional<std::uint8_t> UsbtmcDeviceModel::InProgress(bool out) const {
    if (out)
        return timedOutTag_ ? timedOutTag_ : openMessageTag_;
    if (sending_)
        return sending_;
    if (answering_)
        return answering_->tag;
    return requests_.empty() ? std::nullopt : std::optional(requests_.front().tag);
}

Bytes UsbtmcDeviceModel::InitiateAbort(bool out, std::uint16_t value) {
    std::optional<std::uint8_t> inProgress = InProgress(out);
    // A device comparing 7 bits keeps only those of the tag it is working on.
    if (inProgress && sevenBitTags)
        inProgress = static_cast<std::uint8_t>(*inProgress & 0x7F);
    std::uint8_t status = !inProgress ? kNotInProgress : *inProgress == value ? kSuccess : kFailed;
    if (sevenBitTags && (out || status == kFailed))
        status = kNotInProgress;
    if (refusesAborts)
        status = kFailed;
    if (status == kSuccess) {
        out ? DropOut() : DropIn();
        if (abortPendingMs)
            abortStarted_ = clock_.NowMs();
        else if (!out && WithdrawReply())
            sending_.reset();
    }
    return {status, static_cast<std::uint8_t>(value)};
}

// CHECK_ABORT_..._STATUS: pending until abortPendingMs have passed, and while an answer is
// still on Bulk-IN, asking the host to read it away.
Bytes UsbtmcDeviceModel::AbortStatus(bool out) {
    Bytes reply = {kSuccess, 0, 0, 0, 0, 0, 0, 0};
    const bool waiting = abortStarted_ && clock_.NowMs() - *abortStarted_ <
                                              static_cast<std::uint64_t>(abortPendingMs);
    if (!waiting && abortStarted_ && !out && WithdrawReply())
        sending_.reset();
    if (!waiting)
        abortStarted_.reset();
    if (waiting || (!out && sending_)) {
        reply[0] = kPending;
        reply[1] = !out && sending_ ? 1 : 0;
    }
    return reply;
}

void UsbtmcDeviceModel::ClearHalt(bool bulkIn) {
    const std::lock_guard lock(mutex_);
    if (bulkIn && WithdrawReply())
        sending_.reset();
    bulkIn ? DropIn() : DropOut();
}

void UsbtmcDeviceModel::DropIn() {
    requests_.clear();
    answering_.reset();
}

void UsbtmcDeviceModel::DropOut() {
    message_.clear();
    openMessageTag_.reset();
    timedOutTag_.reset();
}

void UsbtmcDeviceModel::Reset() {
    const std::lock_guard lock(mutex_);
    DropIn();
    DropOut();
    lastTag_.reset();
    abortStarted_.reset();
}

} // namespace usbtmcdevice
