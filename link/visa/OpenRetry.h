#pragma once

#include "link/visa/visa.h"
#include "seams/Clock.h"

#include <functional>

namespace visa {

// VISA's open time-out for a resource that is not on the bus yet (an instrument still
// rebooting, or still being enumerated after it came back): attempt is made again every
// 100 ms on the clock until it finds the resource or openTimeoutMs has passed. Any answer
// but VI_ERROR_RSRC_NFOUND ends the wait at once.
ViStatus OpenWithin(Clock& clock, ViUInt32 openTimeoutMs, const std::function<ViStatus()>& attempt);

} // namespace visa
