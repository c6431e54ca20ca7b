#include "link/visa/OpenRetry.h"

#include <algorithm>

namespace visa {
namespace {

constexpr std::uint64_t kLookAgainMs = 100;

} // namespace

ViStatus OpenWithin(Clock& clock, ViUInt32 openTimeoutMs,
                    const std::function<ViStatus()>& attempt) {
    const std::uint64_t start = clock.NowMs();
    for (;;) {
        const ViStatus status = attempt();
        const std::uint64_t waited = clock.NowMs() - start;
        if (status != VI_ERROR_RSRC_NFOUND || waited >= openTimeoutMs)
            return status;
        clock.SleepMs(static_cast<std::uint32_t>(std::min(kLookAgainMs, openTimeoutMs - waited)));
    }
}

} // namespace visa
