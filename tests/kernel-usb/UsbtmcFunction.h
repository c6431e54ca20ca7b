#pragma once

// The device side of USBTMC over FunctionFS, written from the class's wire format: Bulk-OUT
// transfers are read one at a time (the header says how long each is) and their messages
// handed to the instrument port; each REQUEST_DEV_DEP_MSG_IN is answered on Bulk-IN with one
// DEV_DEP_MSG_IN transfer as soon as the instrument has something to say; the class
// requests on ep0 (capabilities, the abort sequences, clear) are answered. Three threads:
// ep0, Bulk-OUT and Bulk-IN. When a message sends the instrument into a reboot, the owner is
// told, so that it takes the gadget off the bus. The threads run until the process ends.

#include "tests/kernel-usb/FunctionFs.h"
#include "tests/kernel-usb/InstrumentPort.h"

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <mutex>
#include <optional>

namespace kernelusb {

struct FunctionSettings {
    // A reply filling whole packets ends with a zero-length packet, as the class asks; off,
    // it ends with its last full packet, as some instruments do.
    bool zeroLengthPackets = true;
    std::uint16_t packetSize = kHighSpeedPacket; // of Bulk-IN at the speed the gadget runs
};

class UsbtmcFunction {
public:
    UsbtmcFunction(const FunctionFsFiles& files, InstrumentPort& port, FunctionSettings settings,
                   std::function<void()> rebooting);
    UsbtmcFunction(const UsbtmcFunction&) = delete;
    UsbtmcFunction& operator=(const UsbtmcFunction&) = delete;

    // Forgets every transfer in progress: the gadget has left the bus.
    void Reset();

private:
    struct Request {
        std::uint8_t tag = 0;
        std::uint32_t maxSize = 0;
    };

    void ControlLoop();
    void BulkOutLoop();
    void BulkInLoop();
    void HandleSetup(const ControlRequest& setup);
    Bytes ClassReply(const ControlRequest& setup);
    Bytes InterfaceReply(std::uint8_t request);
    Bytes EndpointReply(std::uint8_t request, std::uint8_t tag);
    std::uint8_t AbortBulkIn(std::uint8_t tag);
    void ForgetTransfers(); // with the mutex held
    bool ReadTransfer(Bytes& transfer);
    void TakeTransfer(const Bytes& transfer);
    void NextRequest(Request& request, std::uint64_t& generation);
    void AnswerRequest(const Request& request, std::uint64_t generation);
    bool WriteIn(const Bytes& transfer);

    const FunctionFsFiles& files_;
    InstrumentPort& port_;
    const FunctionSettings settings_;
    std::function<void()> rebooting_;

    std::mutex mutex_; // guards everything below
    std::condition_variable requestArrived_;
    std::uint64_t generation_ = 0; // counts resets and aborts of Bulk-IN
    std::deque<Request> requests_;
    std::optional<std::uint8_t> writingTag_;   // the DEV_DEP_MSG_IN on Bulk-IN, not yet read
    std::optional<std::uint8_t> preparingTag_; // the request whose reply is being fetched
    Bytes message_;                            // DEV_DEP_MSG_OUT payload until EOM
    std::uint8_t messageTag_ = 0;
    bool messageOpen_ = false; // a DEV_DEP_MSG_OUT without EOM has arrived
};

} // namespace kernelusb
