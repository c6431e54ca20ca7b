#include "link/visa/CallDeadline.h"

#include <algorithm>

namespace visa {
namespace {

unsigned AtLeastOne(std::uint64_t ms, unsigned capMs) {
    const std::uint64_t capped = capMs == 0 ? ms : std::min<std::uint64_t>(ms, capMs);
    return static_cast<unsigned>(std::clamp<std::uint64_t>(capped, 1, UINT32_MAX));
}

} // namespace

CallDeadline::CallDeadline(const Clock& clock, ViUInt32 visaTimeoutMs)
    : clock_(clock), unlimited_(visaTimeoutMs == VI_TMO_INFINITE),
      end_(clock.NowMs() + visaTimeoutMs) {}

std::uint64_t CallDeadline::Left(std::uint64_t until) const {
    const std::uint64_t now = clock_.NowMs();
    return until > now ? until - now : 0;
}

unsigned CallDeadline::TransferMs(unsigned capMs) const {
    if (unlimited_)
        return capMs;
    return AtLeastOne(Left(end_), capMs);
}

bool CallDeadline::Passed() const {
    return !unlimited_ && Left(end_) == 0;
}

void CallDeadline::BeginCleanup() {
    if (cleanupEnd_)
        return;
    const std::uint64_t now = clock_.NowMs();
    cleanupEnd_ = (unlimited_ ? now : std::min(now, end_)) + kCleanupMs;
}

unsigned CallDeadline::CleanupMs(unsigned capMs) {
    BeginCleanup();
    return AtLeastOne(Left(*cleanupEnd_ - kClearReserveMs), capMs);
}

bool CallDeadline::CleanupOver() {
    BeginCleanup();
    return Left(*cleanupEnd_ - kClearReserveMs) == 0;
}

unsigned CallDeadline::ClearMs() {
    BeginCleanup();
    return AtLeastOne(Left(*cleanupEnd_), 0);
}

} // namespace visa
