#include "sim/Faults.h"

namespace sim {

const Fault* FindFault(const std::vector<Fault>& faults, FaultKind kind, int command, int segment) {
    for (const Fault& fault : faults) {
        if (fault.kind != kind)
            continue;
        if (fault.command != ANY_COMMAND && fault.command != command)
            continue;
        if (fault.segment != 0 && fault.segment != segment)
            continue;
        return &fault;
    }
    return nullptr;
}

void Answer(const std::vector<Fault>& faults, int command, int segment, std::vector<Reply> lines,
            std::deque<Reply>& replies) {
    if (FindFault(faults, FaultKind::NoReply, command, segment))
        return;
    if (const Fault* wrong = FindFault(faults, FaultKind::WrongReply, command, segment)) {
        std::uint32_t delay = lines.empty() ? 0 : lines.front().delayMs;
        lines = {Reply{wrong->reply, delay}};
    }
    for (Reply& line : lines)
        replies.push_back(std::move(line));
}

} // namespace sim
