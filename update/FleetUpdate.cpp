#include "update/FleetUpdate.h"

#include "link/InstrumentSession.h"
#include "update/OneInstrumentList.h"

#include <cstddef>
#include <thread>

UpdateOutcome UpdateFleetMember(const ImageInfo& image, const FleetMember& member) {
    OneInstrumentList devices(member.resourceName);
    InstrumentSession session(devices);
    UpdateSequence sequence(session, image,
                            {member.log, devices, member.step, member.progress, member.boxes,
                             member.busy, member.pump, member.clock});
    sequence.SetJournal(member.journal);
    sequence.SetPowerHold(member.powerHold);
    session.OpenResourceManager();
    UpdateOutcome outcome = sequence.OnUpdate();
    session.CloseResourceManager();
    return outcome;
}

std::vector<UpdateOutcome> UpdateFleet(const ImageInfo& image,
                                       const std::vector<FleetMember>& members,
                                       const FleetMemberEnded& ended) {
    std::vector<UpdateOutcome> outcomes(members.size());
    {
        std::vector<std::jthread> threads;
        threads.reserve(members.size());
        for (std::size_t index = 0; index < members.size(); ++index)
            threads.emplace_back([&, index] {
                outcomes[index] = UpdateFleetMember(image, members[index]);
                if (ended)
                    ended(index, outcomes[index]);
            });
    }
    return outcomes;
}
