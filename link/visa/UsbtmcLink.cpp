#include "link/visa/UsbtmcLink.h"

#include <algorithm>
#include <optional>
#include <ostream>

namespace visa {
namespace {

// Transfers of 4 KiB including the header, as the Linux usbtmc driver makes them: small
// enough for any device's buffer.
constexpr std::uint32_t kMaxOutPayload = 4096 - usbtmc::kHeaderSize;
constexpr std::uint32_t kMaxInRequest = 4096 - usbtmc::kHeaderSize;
constexpr unsigned kControlTimeoutMs = 1000;
// A terminating packet follows its transfer at once; devices that send none are waited
// for only this long.
constexpr unsigned kTerminatorWaitMs = 50;
// Draining after an abort reads 4 KiB at a time, up to 100 times, as the kernel's driver
// does: a device with small packets may have far more than 64 of them queued.
constexpr std::size_t kDrainBufferSize = 4096;
constexpr unsigned kDrainTimeoutMs = 100;
constexpr int kDrainReads = 100;
// CHECK_ABORT_..._STATUS while the device answers pending: up to 100 polls 50 ms apart, as
// the kernel's driver and pyvisa-py allow, and never past the clean-up's time.
constexpr unsigned kAbortPollWaitMs = 50;
constexpr int kAbortPolls = 100;
constexpr std::uint16_t kFallbackPacketSize = 64;

std::size_t RoundUp(std::size_t size, std::size_t multiple) {
    return (size + multiple - 1) / multiple * multiple;
}

} // namespace

UsbtmcLink::UsbtmcLink(UsbDeviceHandle& device, std::string name, const UsbtmcEndpoints& endpoints,
                       std::shared_ptr<usbtmc::TagCounter> tags, UsbDiagnostics& diagnostics,
                       Clock& clock)
    : device_(device), name_(std::move(name)), endpoints_(endpoints), diagnostics_(diagnostics),
      tags_(std::move(tags)), clock_(clock) {
    if (endpoints_.bulkInPacketSize == 0)
        endpoints_.bulkInPacketSize = kFallbackPacketSize;
}

ViStatus UsbtmcLink::Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                           ViUInt32& written) {
    written = 0;
    if (lost_)
        return VI_ERROR_CONN_LOST;
    call_.emplace(clock_, timeoutMs);
    while (written < count) {
        const std::uint32_t chunk = std::min(count - written, kMaxOutPayload);
        const bool endOfMessage = written + chunk == count;
        const std::uint8_t tag = NextTag();
        const auto transfer = usbtmc::DevDepMsgOut(tag, data + written, chunk, endOfMessage);
        const int size = static_cast<int>(transfer.size());
        int sent = 0;
        UsbResult result =
            device_.BulkOut(endpoints_.bulkOut, transfer.data(), size, call_->TransferMs(), sent);
        if (result == UsbResult::Ok && sent != size)
            result = UsbResult::Error;
        if (result != UsbResult::Ok) {
            const int payloadSent = std::clamp(sent - static_cast<int>(usbtmc::kHeaderSize), 0,
                                               static_cast<int>(chunk));
            written += static_cast<ViUInt32>(payloadSent);
            return Failed(result, Direction::Out, tag);
        }
        written += chunk;
    }
    return VI_SUCCESS;
}

ViStatus UsbtmcLink::Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                          bool& end) {
    count = 0;
    end = false;
    if (lost_)
        return VI_ERROR_CONN_LOST;
    call_.emplace(clock_, timeoutMs);
    while (count < limit && !end) {
        // A reply in many small transfers: the next request waits for no transfer left
        // unfinished, so the time-out can end the read here.
        if (count > 0 && call_->Passed())
            return VI_ERROR_TMO;
        ViUInt32 received = 0;
        const ViStatus status =
            ReadTransfer(std::min(limit - count, kMaxInRequest), buffer + count, received, end);
        count += received;
        if (status != VI_SUCCESS)
            return status;
    }
    return VI_SUCCESS;
}

std::uint8_t UsbtmcLink::NextTag() {
    const std::uint8_t tag = tags_->Next();
    staleTags_.reset(tag); // a late reply to its last use can no longer be told apart
    return tag;
}

ViStatus UsbtmcLink::ReadTransfer(std::uint32_t maxSize, ViByte* buffer, ViUInt32& count,
                                  bool& end) {
    const std::uint8_t tag = NextTag();
    const auto request = usbtmc::RequestDevDepMsgIn(tag, maxSize);
    const int requestSize = static_cast<int>(request.size());
    int sent = 0;
    UsbResult result =
        device_.BulkOut(endpoints_.bulkOut, request.data(), requestSize, call_->TransferMs(), sent);
    if (result == UsbResult::Ok && sent != requestSize)
        result = UsbResult::Error;
    if (result != UsbResult::Ok)
        return Failed(result, Direction::Out, tag);

    std::vector<std::uint8_t> message;
    std::optional<usbtmc::DevDepMsgInHeader> header;
    const ViStatus status = ReceiveDevDepMsgIn(tag, maxSize, message, header);
    // What arrived of the data, without the header and without the alignment bytes.
    if (header) {
        const std::size_t dataEnd =
            std::min(message.size(), usbtmc::kHeaderSize + header->transferSize);
        std::copy(message.begin() + usbtmc::kHeaderSize, message.begin() + dataEnd, buffer);
        count = static_cast<ViUInt32>(dataEnd - usbtmc::kHeaderSize);
    }
    if (status != VI_SUCCESS)
        return status;
    end = header->endOfMessage;
    if (count == 0 && !end)
        return ProtocolError(tag, "a DEV_DEP_MSG_IN without data and without EOM");
    return VI_SUCCESS;
}

// Reads one DEV_DEP_MSG_IN transfer into message; header is set once it has been read and
// checked. On success the whole data has arrived.
ViStatus UsbtmcLink::ReceiveDevDepMsgIn(std::uint8_t tag, std::uint32_t maxSize,
                                        std::vector<std::uint8_t>& message,
                                        std::optional<usbtmc::DevDepMsgInHeader>& header) {
    const std::size_t packet = endpoints_.bulkInPacketSize;
    bool secondChance = false;
    bool stale = false;       // the transfer being read answers an aborted request
    std::size_t expected = 0; // header and data, once the header is known
    for (;;) {
        // Until the header is known, one packet at a time; then exactly up to the last
        // alignment byte, so that a device which ends the transfer without a short packet
        // is not waited for.
        const std::size_t want =
            expected == 0 ? packet
                          : RoundUp(usbtmc::PaddedToFour(static_cast<std::uint32_t>(expected)) -
                                        message.size(),
                                    packet);
        const std::size_t before = message.size();
        message.resize(before + want);
        int got = 0;
        const UsbResult result = device_.BulkIn(endpoints_.bulkIn, message.data() + before,
                                                static_cast<int>(want), call_->TransferMs(), got);
        message.resize(before +
                       static_cast<std::size_t>(std::clamp(got, 0, static_cast<int>(want))));
        if (result != UsbResult::Ok)
            return Failed(result, Direction::In, tag);
        if (message.empty()) {
            // The DEV_DEP_MSG_IN message is empty, without even the header the class
            // requires; a zero-length packet left over from the previous reply looks the
            // same. Give the device one more chance to send a header.
            if (secondChance)
                return ProtocolError(tag, "an empty DEV_DEP_MSG_IN twice");
            secondChance = true;
            continue;
        }
        if (expected == 0 && message.size() >= usbtmc::kHeaderSize) {
            usbtmc::DevDepMsgInHeader parsed;
            switch (usbtmc::ParseDevDepMsgIn(message.data(), tag, parsed)) {
            case usbtmc::HeaderProblem::WrongMsgId:
                return ProtocolError(tag, "a reply that is not DEV_DEP_MSG_IN");
            case usbtmc::HeaderProblem::WrongTag:
                if (!Stale(message.data()) || parsed.transferSize > kMaxInRequest)
                    return ProtocolError(tag, "a DEV_DEP_MSG_IN with the wrong bTag");
                stale = true;
                break;
            case usbtmc::HeaderProblem::None:
                if (parsed.transferSize > maxSize)
                    return ProtocolError(tag, "a DEV_DEP_MSG_IN larger than requested");
                header = parsed;
                break;
            }
            expected = usbtmc::kHeaderSize + parsed.transferSize;
        }
        if (expected != 0 && message.size() >= expected) {
            // Every read asks for whole packets: a full read means no short packet yet.
            if (static_cast<std::size_t>(got) == want)
                ReadTerminator();
            if (!stale)
                return VI_SUCCESS;
            // The late reply of an aborted request is dropped; this request's own follows,
            // unless the call's time is over: a device may send nothing but late replies.
            message.clear();
            expected = 0;
            stale = false;
            if (call_->Passed())
                return Failed(UsbResult::Timeout, Direction::In, tag);
            continue;
        }
        if (static_cast<std::size_t>(got) < want)
            return ProtocolError(tag, "a DEV_DEP_MSG_IN that ended early");
    }
}

bool UsbtmcLink::Stale(const std::uint8_t* header) const {
    const std::uint8_t tag = header[usbtmc::kTagOffset];
    return header[usbtmc::kTagInverseOffset] == static_cast<std::uint8_t>(~tag) && staleTags_[tag];
}

// A transfer that fills whole packets ends with a zero-length packet or a short packet of
// alignment bytes. A device may hold Bulk-OUT until that packet is read (TinyUSB-based ones
// do), and one left in the pipe is taken for the start of the next reply.
void UsbtmcLink::ReadTerminator() {
    std::vector<std::uint8_t> trailer(endpoints_.bulkInPacketSize);
    int got = 0;
    const UsbResult result =
        device_.BulkIn(endpoints_.bulkIn, trailer.data(), static_cast<int>(trailer.size()),
                       call_->TransferMs(kTerminatorWaitMs), got);
    Check(result);
    terminatorOwed_ = result == UsbResult::Timeout;
}

void UsbtmcLink::Close() {
    call_.emplace(clock_, kTerminatorWaitMs);
    if (terminatorOwed_ && !lost_)
        ReadTerminator();
}

ViStatus UsbtmcLink::Failed(UsbResult result, Direction direction, std::uint8_t tag) {
    const std::uint8_t endpoint =
        direction == Direction::Out ? endpoints_.bulkOut : endpoints_.bulkIn;
    call_->BeginCleanup();
    switch (result) {
    case UsbResult::Timeout:
        if (direction == Direction::Out)
            AbortBulkOut(tag);
        else
            AbortBulkIn(tag);
        return lost_ ? VI_ERROR_CONN_LOST : VI_ERROR_TMO;
    case UsbResult::Stall:
        diagnostics_.Say("USBTMC: endpoint 0x", std::hex, int{endpoint}, std::dec,
                         " stalled; clearing the halt\n");
        ClearHalt(endpoint);
        return lost_ ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
    case UsbResult::NoDevice:
        Lost();
        return VI_ERROR_CONN_LOST;
    case UsbResult::NoPermission:
        return VI_ERROR_NPERMISSION;
    default:
        if (DeviceGone()) {
            Lost();
            return VI_ERROR_CONN_LOST;
        }
        return VI_ERROR_IO;
    }
}

// libusb often reports a transfer to a device that has just left the bus as an I/O error;
// a standard GET_STATUS to the device tells that apart from a fault of one transfer.
bool UsbtmcLink::DeviceGone() {
    std::uint8_t status[2] = {};
    int got = 0;
    const UsbResult result =
        device_.Control(usbtmc::kRequestTypeDeviceStatus, usbtmc::kGetStatus, 0, 0, status,
                        sizeof status, call_->CleanupMs(kControlTimeoutMs), got);
    return result == UsbResult::NoDevice || result == UsbResult::Error;
}

ViStatus UsbtmcLink::ProtocolError(std::uint8_t tag, const char* what) {
    diagnostics_.Say("USBTMC: the instrument sent ", what, " (bTag ", int{tag},
                     "); the transfer is aborted\n");
    call_->BeginCleanup();
    AbortBulkIn(tag);
    return lost_ ? VI_ERROR_CONN_LOST : VI_ERROR_IO;
}

// INITIATE_ABORT_BULK_OUT or _IN for the transfer with this tag; true when the device
// has begun to abort it.
bool UsbtmcLink::InitiateAbort(std::uint8_t request, std::uint8_t endpoint, std::uint8_t tag) {
    if (call_->CleanupOver())
        return false;
    std::uint8_t reply[usbtmc::kInitiateAbortReplySize] = {};
    int got = 0;
    const UsbResult result =
        device_.Control(usbtmc::kRequestTypeEndpoint, request, tag, endpoint, reply, sizeof reply,
                        call_->CleanupMs(kControlTimeoutMs), got);
    return Check(result) && result == UsbResult::Ok && got >= 1 &&
           reply[0] == usbtmc::kStatusSuccess;
}

// The standard asks for Bulk-OUT's halt to be cleared after its abort. It is cleared whatever
// the device answered: TinyUSB answers an abort of the write in progress "not in progress".
void UsbtmcLink::AbortBulkOut(std::uint8_t tag) {
    if (InitiateAbort(usbtmc::kInitiateAbortBulkOut, endpoints_.bulkOut, tag))
        PollAbortStatus(usbtmc::kCheckAbortBulkOutStatus, endpoints_.bulkOut);
    ClearHalt(endpoints_.bulkOut);
}

void UsbtmcLink::AbortBulkIn(std::uint8_t tag) {
    const bool aborting = InitiateAbort(usbtmc::kInitiateAbortBulkIn, endpoints_.bulkIn, tag);
    // Whatever the device still had queued (or a reply to an abort it refused) must leave
    // the pipe, or the next read would take it for its own reply.
    const bool drained = DrainBulkIn();
    const bool aborted =
        aborting && PollAbortStatus(usbtmc::kCheckAbortBulkInStatus, endpoints_.bulkIn);
    if (aborted)
        return;
    staleTags_.set(tag);
    // Bulk-IN is reset only when the device has not confirmed the abort and the pipe could
    // not be emptied in time; a needless clear costs some devices their data toggle.
    if (!drained || call_->CleanupOver())
        ClearHalt(endpoints_.bulkIn);
}

// True when the device reports the abort done.
bool UsbtmcLink::PollAbortStatus(std::uint8_t request, std::uint8_t endpoint) {
    for (int poll = 0; poll < kAbortPolls && !lost_ && !call_->CleanupOver(); ++poll) {
        std::uint8_t reply[usbtmc::kCheckAbortReplySize] = {};
        int got = 0;
        const UsbResult result =
            device_.Control(usbtmc::kRequestTypeEndpoint, request, 0, endpoint, reply, sizeof reply,
                            call_->CleanupMs(kControlTimeoutMs), got);
        if (!Check(result) || result != UsbResult::Ok || got < 1)
            return false;
        if (reply[0] != usbtmc::kStatusPending)
            return reply[0] == usbtmc::kStatusSuccess;
        if (request == usbtmc::kCheckAbortBulkInStatus && got >= 2 &&
            (reply[1] & usbtmc::kAbortBulkInDrain))
            DrainBulkIn();
        else if (!call_->CleanupOver())
            clock_.SleepMs(call_->CleanupMs(kAbortPollWaitMs));
    }
    return false;
}

// True when the pipe is empty: a read ended short or found nothing.
bool UsbtmcLink::DrainBulkIn() {
    const std::size_t packet = endpoints_.bulkInPacketSize;
    std::vector<std::uint8_t> scratch(std::max<std::size_t>(kDrainBufferSize / packet, 1) * packet);
    const int size = static_cast<int>(scratch.size());
    for (int read = 0; read < kDrainReads && !lost_ && !call_->CleanupOver(); ++read) {
        int got = 0;
        const UsbResult result = device_.BulkIn(endpoints_.bulkIn, scratch.data(), size,
                                                call_->CleanupMs(kDrainTimeoutMs), got);
        if (!Check(result))
            return false;
        if (result == UsbResult::Timeout || (result == UsbResult::Ok && got < size))
            return true;
        if (result != UsbResult::Ok)
            return false;
    }
    return false;
}

void UsbtmcLink::ClearHalt(std::uint8_t endpoint) {
    if (!lost_)
        Check(device_.ClearHalt(endpoint, call_->ClearMs()));
}

// False once the device has left the bus.
bool UsbtmcLink::Check(UsbResult result) {
    if (result == UsbResult::NoDevice)
        Lost();
    return !lost_;
}

void UsbtmcLink::Lost() {
    if (!lost_)
        diagnostics_.Say("usb backend: ", name_, " has left the USB bus\n");
    lost_ = true;
}

} // namespace visa
