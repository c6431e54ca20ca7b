#include "update/FleetUpdate.h"

#include "link/InstrumentSession.h"
#include "update/OneInstrumentList.h"

#include <cstddef>
#include <exception>
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
    std::vector<std::exception_ptr> failures(members.size());
    {
        std::vector<std::jthread> threads;
        threads.reserve(members.size());
        for (std::size_t index = 0; index < members.size(); ++index)
            threads.emplace_back([&, index] {
                try {
                    outcomes[index] = UpdateFleetMember(image, members[index]);
                    if (ended)
                        ended(index, outcomes[index]);
                } catch (...) {
                    failures[index] = std::current_exception();
                }
            });
    }
    // An exception on a member's thread would abort the whole program and with it the
    // flashes of the others; it is passed on to the caller once every member has ended.
    for (const std::exception_ptr& failure : failures)
        if (failure)
            std::rethrow_exception(failure);
    return outcomes;
}
