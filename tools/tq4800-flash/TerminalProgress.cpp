#include "tools/tq4800-flash/TerminalProgress.h"

#include "tools/tq4800-flash/TerminalScreen.h"

#include <algorithm>

namespace {

constexpr int BAR_WIDTH = 30;

} // namespace

void TerminalProgress::SetRange(std::uint16_t lower, std::uint16_t upper) {
    lower_ = lower;
    upper_ = upper;
}

void TerminalProgress::SetPos(int position) {
    position_ = position;
}

void TerminalProgress::StepIt() {
    position_ = SteppedPosition(position_, step_, lower_, upper_);
    Draw();
}

void TerminalProgress::Draw() {
    if (upper_ <= lower_)
        return;
    const int span = upper_ - lower_;
    const int done = std::clamp(position_ - lower_, 0, span);
    const int filled = done * BAR_WIDTH / span;
    std::string bar = "[" + stepText_ + "] [";
    bar.append(static_cast<std::size_t>(filled), '#');
    bar.append(static_cast<std::size_t>(BAR_WIDTH - filled), '.');
    bar += "] " + std::to_string(done * 100 / span) + "%";
    screen_.DrawBar(bar);
}
