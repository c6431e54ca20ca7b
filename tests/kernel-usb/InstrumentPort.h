#pragma once

// The instrument behind the gadget: every whole USBTMC message goes to the simulated
// TQ4800, whose replies go back. Messages beginning "TEST:" are the query exercise's,
// answered by the port itself (see TestPattern.h). Used from the gadget's bulk-out and
// bulk-in threads at once.

#include "link/visa/Connection.h"
#include "sim/Instrument.h"
#include "tests/kernel-usb/TestPattern.h"

#include <cstdint>
#include <mutex>

namespace kernelusb {

class InstrumentPort final : public visa::Connection {
public:
    explicit InstrumentPort(sim::Instrument& instrument);

    ViStatus Write(const ViByte* data, ViUInt32 count, ViUInt32 timeoutMs,
                   ViUInt32& written) override;
    ViStatus Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                  bool& end) override;
    // The instrument is rebooting: the gadget leaves the bus until it is back.
    bool OffTheBus() { return !instrument_.Present(); }
    // Talks to the instrument as it is after a reboot.
    void NewBoot() { boot_ = instrument_.Boot(); }

private:
    bool TestCommand(const ViByte* data, ViUInt32 count);

    sim::Instrument& instrument_;
    std::uint64_t boot_;
    std::mutex mutex_; // guards the test reply
    Bytes testReply_;  // what is left of it
    bool testReplyReady_ = false;
    Bytes lastData_; // "TEST:DATA?" is answered with the last message that began "TEST:DATA"
};

} // namespace kernelusb
