#pragma once

#include "sim/Config.h"

#include <cstdint>
#include <deque>
#include <string>
#include <vector>

namespace sim {

// One message the instrument will send, available delayMs after a read starts waiting.
struct Reply {
    std::string bytes;
    std::uint32_t delayMs = 0;
};

// The first fault of the kind that applies to the command during the given segment transfer.
const Fault* FindFault(const std::vector<Fault>& faults, FaultKind kind, int command, int segment);

// Queues the replies of a command unless a fault drops them or replaces them with its own.
void Answer(const std::vector<Fault>& faults, int command, int segment, std::vector<Reply> lines,
            std::deque<Reply>& replies);

} // namespace sim
