#pragma once

// One simulated TQ4800 on the bus: its normal firmware's text commands, the reboot into its
// loader, and the queue of replies waiting to be read. All time is taken from the clock.

#include "link/visa/visa.h"
#include "seams/Clock.h"
#include "sim/Config.h"
#include "sim/Faults.h"
#include "sim/Loader.h"

#include <cstdint>
#include <deque>
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
    std::uint64_t Boot() const { return boot_; }

    ViStatus Write(std::uint64_t boot, const ViByte* data, std::uint32_t count);
    // Up to limit bytes of the current reply; end when its last byte is among them. With no
    // reply ready within timeoutMs, sleeps that long on the clock and gives VI_ERROR_TMO.
    ViStatus Read(std::uint64_t boot, ViByte* buffer, std::uint32_t limit, std::uint32_t timeoutMs,
                  std::uint32_t& count, bool& end);

    // Test controls and what a test may inspect.
    void Unplug() { unplugged_ = true; }
    // A search has listed the instrument; it may be set to leave the bus after some.
    void NoteListed();
    Mode CurrentMode();
    const std::string& DisplayText() const { return display_; }
    std::string RevisionField() const { return sim::RevisionField(config_.revisions); }
    const Revisions& CurrentRevisions() const { return config_.revisions; }
    const Loader& GetLoader() const { return loader_; }

private:
    void NormalCommand(std::string_view line);
    void LoaderText(std::string_view line);
    bool IdentityWriteRefused(const ViByte* data, std::uint32_t count) const;
    void Identify(std::string reply);
    void BeginReboot();

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
