#include "tools/tq4800-flash/MemberSeams.h"

#include <algorithm>
#include <cmath>
#include <string>

void MemberLog::ReportStatus(StatusCode code) {
    report_.Log(member_, "\r\nError number: " + std::to_string(code));
}

MemberProgress::MemberProgress(FleetReport& report, std::size_t member, const ImageInfo& image,
                               Clock& clock)
    : report_(report), member_(member), clock_(clock) {
    double total = 0;
    for (const SegmentImage& segment : image.segments)
        total += segment.byteCount;
    for (std::size_t i = 0; i < weights_.size(); ++i)
        weights_[i] = total > 0 ? image.segments[i].byteCount / total : 0.2;
}

void MemberProgress::SetRange(std::uint16_t lower, std::uint16_t upper) {
    lower_ = lower;
    upper_ = upper;
}

void MemberProgress::SetStepText(std::string_view) {
    if (segment_ < 0)
        startMs_ = clock_.NowMs();
    segment_ = std::min(segment_ + 1, SEGMENT_COUNT - 1);
}

void MemberProgress::StepIt() {
    position_ = SteppedPosition(position_, step_, lower_, upper_);
    if (segment_ < 0 || upper_ <= lower_)
        return;
    double done = 0;
    for (int i = 0; i < segment_; ++i)
        done += weights_[static_cast<std::size_t>(i)];
    done += weights_[static_cast<std::size_t>(segment_)] *
            std::clamp(static_cast<double>(position_ - lower_) / (upper_ - lower_), 0.0, 1.0);
    SegmentProgress progress;
    progress.segment = segment_;
    progress.percent = static_cast<int>(std::floor(done * 100.0));
    const double elapsed = static_cast<double>(clock_.NowMs() - startMs_) / 1000.0;
    if (done > 0.0)
        progress.secondsLeft = elapsed * (1.0 - done) / done;
    report_.Progress(member_, progress);
}

MemberSeams::MemberSeams(std::size_t member, const std::string& resourceName,
                         const ImageInfo& image, FleetReport& report, FleetConfirmation& question,
                         FleetInterruptGuard& interrupts, Clock& clock)
    : log_(report, member), progress_(report, member, image, clock),
      boxes_(question, member, otherBoxes_),
      guard_(interrupts), member_{resourceName, log_,   progress_, progress_,
                                  boxes_,       guard_, events_,   clock} {}
