#pragma once

// USBTMC message exchange over one claimed interface: a VISA write becomes DEV_DEP_MSG_OUT
// transfers, a VISA read becomes REQUEST_DEV_DEP_MSG_IN / DEV_DEP_MSG_IN pairs. A time-out
// is followed by the class's abort sequence, so that the next command works; once the device
// has left the bus every call reports VI_ERROR_CONN_LOST. Every call ends within its time-out
// plus the clean-up of CallDeadline, whatever the device does. One link serves one
// interface; its owner lets only one call at a time reach it.

#include "link/visa/CallDeadline.h"
#include "link/visa/UsbDiagnostics.h"
#include "link/visa/UsbTransport.h"
#include "link/visa/UsbtmcFraming.h"
#include "link/visa/visa.h"
#include "seams/Clock.h"

#include <atomic>
#include <bitset>
#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace visa {

struct UsbtmcEndpoints {
    std::uint8_t interfaceNumber = 0;
    std::uint8_t bulkOut = 0;
    std::uint8_t bulkIn = 0;
    std::uint16_t bulkInPacketSize = 0;
};

class UsbtmcLink {
public:
    // tags carries on from the last session to the same interface: a device may refuse a
    // bTag equal to the one it saw last.
    // name is the resource's, for messages.
    UsbtmcLink(UsbDeviceHandle& device, std::string name, const UsbtmcEndpoints& endpoints,
               std::shared_ptr<usbtmc::TagCounter> tags, UsbDiagnostics& diagnostics, Clock& clock);

    // The meanings of Connection::Write and Connection::Read.
    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs, ViUInt32& written);
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count, bool& end);

    // Before the interface is released: takes a terminating packet still owed by the last
    // reply, so that the next user of the interface (the kernel's driver) finds the pipe empty.
    void Close();

    bool DeviceLost() const { return lost_; }

private:
    enum class Direction { Out, In };

    std::uint8_t NextTag();
    ViStatus ReadTransfer(std::uint32_t maxSize, ViByte* buffer, ViUInt32& count, bool& end);
    ViStatus ReceiveDevDepMsgIn(std::uint8_t tag, std::uint32_t maxSize,
                                std::vector<std::uint8_t>& message,
                                std::optional<usbtmc::DevDepMsgInHeader>& header);
    bool Stale(const std::uint8_t* header) const;
    void ReadTerminator();
    ViStatus Failed(UsbResult result, Direction direction, std::uint8_t tag);
    ViStatus ProtocolError(std::uint8_t tag, const char* what);
    bool DeviceGone();
    bool InitiateAbort(std::uint8_t request, std::uint8_t endpoint, std::uint8_t tag);
    void AbortBulkOut(std::uint8_t tag);
    void AbortBulkIn(std::uint8_t tag);
    bool PollAbortStatus(std::uint8_t request, std::uint8_t endpoint);
    bool DrainBulkIn();
    void ClearHalt(std::uint8_t endpoint);
    bool Check(UsbResult result);
    void Lost();

    UsbDeviceHandle& device_;
    std::string name_;
    UsbtmcEndpoints endpoints_;
    UsbDiagnostics& diagnostics_;
    std::shared_ptr<usbtmc::TagCounter> tags_;
    Clock& clock_;
    std::optional<CallDeadline> call_; // of the call in progress
    // Requests whose reply the device was told to abort and never confirmed it had: such a
    // reply may still come, and is dropped when it does.
    std::bitset<256> staleTags_;
    bool terminatorOwed_ = false; // the last reply ended on a packet boundary, its end unseen
    std::atomic<bool> lost_ = false;
};

} // namespace visa
