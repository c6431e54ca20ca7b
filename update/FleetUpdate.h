#pragma once

#include "image/ImageInfo.h"
#include "update/UpdateSequence.h"

#include <cstddef>
#include <functional>
#include <string>
#include <vector>

// One instrument of a fleet update: its resource name as the search gave it, and the seams
// its update reports to. Every member has seams of its own; the clock may be shared when it
// is safe to use from several threads (the real one is).
struct FleetMember {
    std::string resourceName;
    Log& log;
    StepIndicator& step;
    Progress& progress;
    MessageBoxes& boxes;
    BusyGuard& busy;
    EventPump& pump;
    Clock& clock;
    // The record of this instrument's run and its hold on the PC's power; none when null.
    UpdateJournal* journal = nullptr;
    PowerHold* powerHold = nullptr;
};

// The whole update of one member on the calling thread, exactly as a single update of that
// instrument: a resource-manager session of its own, a search, the instrument named and no
// other (when it is no longer on the bus, nothing is touched and the outcome says no
// instrument was found), and the close
// of the session at the end. The confirmation box is the member's own to answer.
UpdateOutcome UpdateFleetMember(const ImageInfo& image, const FleetMember& member);

// Told on a member's thread as soon as its update has ended: its index and outcome.
using FleetMemberEnded = std::function<void(std::size_t member, const UpdateOutcome& outcome)>;

// Updates all members at once, each in a thread of its own, and returns when every update
// has ended: the outcomes in the order of members. The image is only read. An exception of a
// member's update is thrown again once all of them have ended.
std::vector<UpdateOutcome> UpdateFleet(const ImageInfo& image,
                                       const std::vector<FleetMember>& members,
                                       const FleetMemberEnded& ended = {});
