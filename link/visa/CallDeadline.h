#pragma once

// The time one VISA read or write of the usb backend may take, on the clock seam: the
// session's time-out for the call's own transfers (the waits for a terminating packet
// included), then at most kCleanupMs more for the USBTMC abort sequence and the clearing of a
// halt, whatever the device answers. The last kClearReserveMs of the clean-up are kept for
// clearing the halt, so that it is never skipped for want of time.

#include "link/visa/visa.h"
#include "seams/Clock.h"

#include <cstdint>
#include <optional>

namespace visa {

inline constexpr unsigned kCleanupMs = 2000;
inline constexpr unsigned kClearReserveMs = 500;

class CallDeadline {
public:
    CallDeadline(const Clock& clock, ViUInt32 visaTimeoutMs);

    // The time-out for the next transfer of the call, at most capMs when capMs is not 0.
    // Never 0 unless the call may wait forever and capMs is 0: the transports take 0 for
    // "wait forever", so VISA's 0 ("do not wait") and a passed deadline become 1 ms.
    unsigned TransferMs(unsigned capMs = 0) const;
    bool Passed() const;

    // The clean-up starts when the call fails, at the latest when its time-out passes.
    void BeginCleanup();
    // The time-out for the next step of an abort sequence, at most capMs.
    unsigned CleanupMs(unsigned capMs);
    bool CleanupOver();
    // The time-out for clearing a halt: what is left of the clean-up.
    unsigned ClearMs();

private:
    std::uint64_t Left(std::uint64_t until) const;

    const Clock& clock_;
    bool unlimited_;
    std::uint64_t end_;
    std::optional<std::uint64_t> cleanupEnd_;
};

} // namespace visa
