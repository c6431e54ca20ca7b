#pragma once

// One simulated TQ4800 on the bus: its normal firmware's text commands, the reboot into its
// loader, and the queue of replies waiting to be read. All time is taken from the clock.
// Sessions on several threads may talk to it at once: each call takes the instrument's
// lock, and its waits on the clock happen after the lock is let go.

#include "link/visa/visa.h"
#include "seams/Clock.h"
#include "sim/Config.h"
#include "sim/Faults.h"
#include "sim/Loader.h"

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <string_view>

namespace sim {

class Instrument {
public:
    Instrument(InstrumentConfig config, Clock& clock);
    Instrument(const Instrument&) = delete;
    Instrument& operator=(const Instrument&) = delete;

    const std::string& Name() const { return name_; }
    const std::string& Serial() const { return config_.serial; }

    // On the bus now; a reboot whose time has come ends here, in loader mode.
    bool Present();
    // Changes whenever the instrument leaves the bus; a session opened under an older boot
    // has lost its connection.
    std::uint64_t Boot() const;

    ViStatus Write(std::uint64_t boot, const ViByte* data, std::uint32_t count);
    // Up to limit bytes of the current reply; end when its last byte is among them. With no
    // reply ready within timeoutMs, sleeps that long on the clock and gives VI_ERROR_TMO.
    ViStatus Read(std::uint64_t boot, ViByte* buffer, std::uint32_t limit, std::uint32_t timeoutMs,
                  std::uint32_t& count, bool& end);

    // Test controls and what a test may inspect.
    void Unplug();
    // A search has listed the instrument; it may be set to leave the bus after some.
    void NoteListed();
    Mode CurrentMode();
    std::string DisplayText() const;
    std::string RevisionField() const;
    // The flash and the revisions, to be inspected once no session is talking to it.
    const Revisions& CurrentRevisions() const { return config_.revisions; }
    const Loader& GetLoader() const { return loader_; }

private:
    bool PresentLocked();
    // The reply part of Read; sleepMs is how long the read waited on the clock.
    ViStatus TakeReply(std::uint64_t boot, ViByte* buffer, std::uint32_t limit,
                       std::uint32_t timeoutMs, std::uint32_t& count, bool& end,
                       std::uint32_t& sleepMs);
    void NormalCommand(std::string_view line);
    void LoaderText(std::string_view line);
    bool IdentityWriteRefused(const ViByte* data, std::uint32_t count) const;
    void Identify(std::string reply);
    void BeginReboot();

    mutable std::mutex lock_; // guards everything below but the clock
    InstrumentConfig config_;
    Clock& clock_;
    std::string name_;
    Mode mode_;
    Loader loader_;
    bool rebooting_ = false;
    std::uint64_t rebootEnd_ = 0;
    bool unplugged_ = false;
    std::uint32_t timesListed_ = 0;
    std::uint64_t boot_ = 1;
    std::deque<Reply> replies_;
    std::size_t replyOffset_ = 0;
    std::string display_;
};

} // namespace sim
