#pragma once

// What the sim and usb backends provide underneath the shared resource layer
// (ResourceBackend): the resources present now, and a connection to one of them. Handles,
// find lists, search patterns, time-outs and the read rules of the standard are the
// layer's, so every such backend behaves alike.

#include "link/visa/visa.h"

#include <memory>
#include <string>
#include <vector>

namespace visa {

// One opened instrument resource. Several connections may be open to the same resource.
class Connection {
public:
    virtual ~Connection() = default;
    // Sends count bytes as one whole message (END on its last byte). Waits at most
    // timeoutMs; written tells how many bytes went out. Errors: VI_ERROR_TMO,
    // VI_ERROR_CONN_LOST (the instrument left the bus), VI_ERROR_IO.
    virtual ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                           ViUInt32& written) = 0;
    // Receives up to limit bytes of the instrument's current reply message; end is set when
    // the message's last byte is among them, and the rest of a longer message stays for the
    // next Read. Waits at most timeoutMs; on VI_ERROR_TMO, count tells what did arrive. A
    // successful Read delivers at least one byte unless it sets end.
    virtual ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                          bool& end) = 0;
    // Told when the session's time-out is set. Every Read and Write carries the time-out
    // anyway, so a connection may ignore this.
    virtual void TimeoutSet(ViUInt32 timeoutMs) { (void)timeoutMs; }
};

class ResourceProvider {
public:
    virtual ~ResourceProvider() = default;
    // The canonical names of the instrument resources present now, for example
    // "USB0::0x1D7A::0x52C1::TW00012345::INSTR".
    virtual ViStatus List(std::vector<std::string>& names) = 0;
    // Opens the resource named (any spelling the resource-name parser accepts). Errors:
    // VI_ERROR_INV_RSRC_NAME, VI_ERROR_RSRC_NFOUND, VI_ERROR_RSRC_BUSY, VI_ERROR_NPERMISSION.
    virtual ViStatus Open(const std::string& name, ViUInt32 openTimeoutMs,
                          std::unique_ptr<Connection>& connection) = 0;
};

} // namespace visa
