#pragma once

#include "image/ImageInfo.h"
#include "seams/Clock.h"
#include "tools/tq4800-flash/ConfirmationGate.h"
#include "tools/tq4800-flash/FleetInterruptGuard.h"
#include "tools/tq4800-flash/FleetReport.h"

// What the instruments of a fleet share: the file, the report, the one question, the
// interrupt guard and the clock.
struct FleetShared {
    const ImageInfo& image;
    FleetReport& report;
    ConfirmationGate& gate;
    FleetInterruptGuard& interrupts;
    Clock& clock;
};

// One instrument's whole update on the calling thread, exactly as a single update of it and
// of no other instrument, with its log, progress and question going to the fleet's report
// and gate. Reports its result and returns it.
MemberResult UpdateMember(std::size_t member, const std::string& resourceName,
                          const FleetShared& shared);
