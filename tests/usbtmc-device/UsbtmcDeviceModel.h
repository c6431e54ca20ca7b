#pragma once

// The device side of USBTMC, written from the class's wire format inwards, independently of
// the host's framing code. It checks each Bulk-OUT transfer's header and bTag sequence,
// reassembles DEV_DEP_MSG_OUT transfers into messages for the instrument behind it (any
// visa::Connection), answers each REQUEST_DEV_DEP_MSG_IN with one DEV_DEP_MSG_IN transfer
// once the instrument has something to say, and answers the class requests: the abort
// sequences of both bulk endpoints, and GET_CAPABILITIES (which the kernel's driver asks at
// probe). Other requests are stalled.
// It notes every framing fault of the host and misbehaves on request. The bus is the
// owner's: the transport seam's fake cuts the transfers into packets, the FunctionFS gadget
// writes them to its endpoints. Every call may come from a thread of its own.

#include "link/visa/Connection.h"
#include "seams/Clock.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

namespace usbtmcdevice {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::size_t kHeaderSize = 12;

struct ControlRequest {
    std::uint8_t requestType = 0, request = 0;
    std::uint16_t value = 0, index = 0, length = 0;
};

// What became of a Bulk-OUT transfer on the bus.
enum class OutFate {
    Taken,
    Stalled,  // refused by a halted endpoint: the device never saw its data
    TimedOut, // not taken in time: it is the transfer in progress an abort names
};

class UsbtmcDeviceModel {
public:
    // Pending aborts are timed on clock.
    UsbtmcDeviceModel(visa::Connection& instrument, const Clock& clock);
    virtual ~UsbtmcDeviceModel() = default;

    // Faults, each acting until cleared unless it counts down.
    // Aborts compare only the low 7 bits of bTag; an abort of the write in progress is
    // answered "not in progress".
    bool sevenBitTags = false;
    bool refusesAborts = false;          // every INITIATE_ABORT is answered FAILED
    int abortPendingMs = 0;              // an abort stays pending this long after it began
    bool wrongTagOnce = false;           // the next reply carries the wrong bTag
    bool wrongInverseOnce = false;       // the next reply's bTagInverse is its bTag
    std::uint32_t replyChunk = 0;        // most data bytes per DEV_DEP_MSG_IN, 0 for no limit
    bool ignoresTransferSize = false;    // replies with all it has, however little was asked
    std::vector<std::string> violations; // framing faults of the host
    // Told of each framing fault as it is noted, under the model's lock.
    std::function<void(const std::string&)> onViolation;

    // The length of the Bulk-OUT transfer whose header this is.
    static std::size_t TransferLength(const std::uint8_t* header);

    // A whole Bulk-OUT transfer; a message goes to the instrument once its EOM has come.
    void TakeOut(const std::uint8_t* data, std::size_t length, OutFate fate = OutFate::Taken);
    // The DEV_DEP_MSG_IN transfer answering the oldest open request, once the instrument has
    // something to say within replyWaitMs; a request is awaited for requestWait. Nothing when
    // no request came, the instrument stays silent (the request stays open), or an abort
    // took the request meanwhile.
    std::optional<Bytes> Answer(std::uint32_t replyWaitMs,
                                std::chrono::milliseconds requestWait = {});
    // The last answer has left Bulk-IN: read to its end, or dropped by the bus.
    void ReplyGone();
    // The data of the reply to a class request; nothing when the request is stalled.
    std::optional<Bytes> ClassRequest(const ControlRequest& setup);
    // A cleared halt resets the pipe: what the device had for it is dropped.
    void ClearHalt(bool bulkIn);
    // A new device on the bus: every transfer and the bTag sequence are forgotten.
    void Reset();

protected:
    bool Expect(bool ok, const std::string& fault);
    // Drops the answer waiting on Bulk-IN where the bus can; false when it stays until read.
    virtual bool WithdrawReply() { return false; }

private:
    struct Request {
        std::uint8_t tag;
        std::uint32_t maxSize;
    };
    bool CheckHeader(const std::uint8_t* data, std::size_t length);
    bool TakeMessageOut(const std::uint8_t* data, std::size_t length, Bytes& whole);
    void TakeRequest(const std::uint8_t* data, std::size_t length);
    Bytes Transfer(std::uint8_t tag, const Bytes& data, bool end);
    Bytes InitiateAbort(bool out, std::uint16_t value);
    Bytes AbortStatus(bool out);
    std::optional<std::uint8_t> InProgress(bool out) const;
    void DropIn();
    void DropOut();

    visa::Connection& instrument_;
    const Clock& clock_;
    std::mutex mutex_; // guards everything below
    std::condition_variable requestArrived_;
    std::optional<std::uint8_t> lastTag_;
    Bytes message_;                              // DEV_DEP_MSG_OUT payload collected until EOM
    std::optional<std::uint8_t> openMessageTag_; // of a DEV_DEP_MSG_OUT without EOM
    std::optional<std::uint8_t> timedOutTag_;    // of the Bulk-OUT transfer not taken
    std::deque<Request> requests_;
    std::optional<Request> answering_;    // the request whose reply is asked of the instrument
    std::optional<std::uint8_t> sending_; // the tag of the answer on Bulk-IN, not yet read
    std::optional<std::uint64_t> abortStarted_;
};

} // namespace usbtmcdevice
