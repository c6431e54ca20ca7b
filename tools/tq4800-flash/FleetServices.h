#pragma once

#include "history/UpdateHistory.h"
#include "power/LogindPowerHold.h"
#include "seams/OnceNotice.h"
#include "tools/tq4800-flash/FleetReport.h"

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

// The history records and power holds of a fleet run: one journal and one logind lock per
// instrument, each used on that instrument's thread. The file is described once for all of
// them; a problem of either service is said once, as a note of the fleet's report.
class FleetServices {
public:
    // The file at path was loaded as image through descriptor; runId goes into every record
    // of this invocation.
    FleetServices(const std::string& path, int descriptor, const ImageInfo& image,
                  std::size_t members, FleetReport& report, std::string runId);

    UpdateJournal* Journal(std::size_t member) { return journals_[member].get(); }
    PowerHold* Hold(std::size_t member) { return holds_[member].get(); }

private:
    OnceNotice historyNotice_;
    OnceNotice powerNotice_;
    UpdateHistory history_;
    std::vector<std::unique_ptr<UpdateJournal>> journals_;
    std::vector<std::unique_ptr<LogindPowerHold>> holds_;
};
