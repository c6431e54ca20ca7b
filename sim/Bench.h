#pragma once

// A bench of simulated instruments on one USB bus, the sessions opened to them and the wire
// transcript of everything that passed. Sessions may be opened and used from several
// threads at once; they are numbered in the order they were opened.

#include "seams/Clock.h"
#include "sim/Config.h"
#include "sim/Instrument.h"
#include "sim/Transcript.h"

#include <memory>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Bench;

// One open session to an instrument; closing it is destroying it.
class Session {
public:
    Session(std::shared_ptr<Bench> bench, Instrument& instrument, int number);
    ~Session();
    Session(const Session&) = delete;
    Session& operator=(const Session&) = delete;

    int Number() const { return number_; }
    ViStatus Write(const ViByte* data, std::uint32_t count, std::uint32_t& written);
    ViStatus Read(ViByte* buffer, std::uint32_t limit, std::uint32_t timeoutMs,
                  std::uint32_t& count, bool& end);
    void SetTimeout(std::uint32_t ms);

private:
    std::shared_ptr<Bench> bench_;
    Instrument& instrument_;
    int number_;
    std::uint64_t boot_;
};

class Bench : public std::enable_shared_from_this<Bench> {
public:
    Bench(const BenchConfig& config, Clock& clock);

    // The resource names of the instruments on the bus now, in bench order.
    std::vector<std::string> PresentNames();
    // Opens a session to the instrument with this serial; requestedName is the name as the
    // caller gave it, for the transcript. VI_ERROR_RSRC_NFOUND when it is not on the bus.
    ViStatus Open(std::string_view requestedName, std::string_view serial,
                  std::unique_ptr<Session>& session);
    // Notes an open refused before it reached the bus (an unreadable name).
    void RecordFailedOpen(std::string_view requestedName, ViStatus status);

    Instrument* Find(std::string_view serial);
    // The instrument with this serial is on the bus now.
    bool OnBus(std::string_view serial);
    Clock& GetClock() { return clock_; }
    Instrument& At(std::size_t index) { return *instruments_.at(index); }
    Transcript& Trace() { return transcript_; }

private:
    Clock& clock_;
    std::vector<std::unique_ptr<Instrument>> instruments_;
    Transcript transcript_;
    std::mutex openLock_; // numbers a session and writes its open line as one step
    int sessionsOpened_ = 0;
};

} // namespace sim
