#include "tools/tq4800-flash/MemberUpdate.h"

#include "tools/tq4800-flash/ExitCodes.h"
#include "tools/tq4800-flash/MemberSeams.h"
#include "update/FleetUpdate.h"

namespace {

MemberResult ResultOf(const UpdateOutcome& outcome) {
    if (!outcome.instrumentFound)
        return {EXIT_UNAVAILABLE, "No instrument found.", 0};
    if (outcome.status == STATUS_COMPLETE)
        return {0, "Update is complete.", 0};
    return {outcome.status, std::string(StatusText(outcome.status)), 0};
}

} // namespace

MemberResult UpdateMember(std::size_t member, const std::string& resourceName,
                          const FleetShared& shared) {
    const std::uint64_t startMs = shared.clock.NowMs();
    MemberLog log(shared.report, member);
    MemberProgress progress(shared.report, member, shared.image, shared.clock);
    MemberPrompt prompt(shared.gate, member);
    MemberGuard guard(shared.interrupts);
    NoEvents events;
    const UpdateOutcome outcome = UpdateFleetMember(
        shared.image, {resourceName, log, progress, progress, prompt, guard, events, shared.clock});
    shared.gate.Leave(member);

    MemberResult result = ResultOf(outcome);
    result.seconds = static_cast<double>(shared.clock.NowMs() - startMs) / 1000.0;
    shared.report.Result(member, result);
    return result;
}
