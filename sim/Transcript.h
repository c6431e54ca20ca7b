#pragma once

// The wire transcript of a bench: one line per event, in the order the events happened.
//   open S NAME          a session opened (S counts sessions from 1 in opening order)
//   open - NAME !STATUS  an open that failed
//   tmo S MS             the session's time-out was set
//   write S HEX          a message written (HEX: upper-case byte pairs, empty when empty)
//   read S HEX           a reply read
//   close S              the session closed
// A failed write or read has "!" and the status as eight upper-case hex digits for HEX.
// Sessions on several threads may add lines at once; each line goes in whole.

#include "link/visa/visa.h"

#include <atomic>
#include <cstdint>
#include <fstream>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

namespace sim {

class Transcript {
public:
    // Also appends every line to the file at path, flushed at once. False when it cannot be
    // opened.
    bool WriteTo(const std::string& path);
    // Whether lines are also kept in memory (Lines()). Tests read them; a long-running program
    // on the simulated instrument turns this off, so its memory does not grow with every
    // update, and then formats nothing unless a file is being written.
    void KeepLines(bool keep);

    void Open(int session, std::string_view name);
    void FailedOpen(std::string_view name, ViStatus status);
    void Timeout(int session, std::uint32_t ms);
    void Write(int session, const ViByte* data, std::uint32_t count);
    void Read(int session, const ViByte* data, std::uint32_t count);
    void Failed(std::string_view operation, int session, ViStatus status);
    void Close(int session);

    // The lines kept so far; read it once no session is adding lines.
    const std::vector<std::string>& Lines() const { return lines_; }

private:
    bool Recording() const { return recording_.load(std::memory_order_relaxed); }
    void Add(std::string line);

    mutable std::mutex lock_; // guards everything below
    bool keep_ = true;
    std::atomic<bool> recording_{true}; // keep_ or a file is open
    std::vector<std::string> lines_;
    std::ofstream file_;
};

std::string HexBytes(const ViByte* data, std::uint32_t count);
std::string HexStatus(ViStatus status);

} // namespace sim
