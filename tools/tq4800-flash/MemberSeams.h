#pragma once

// What one instrument's update of a fleet has in place of the window: its log, bar and step
// counter go to the fleet's report under its own number, its confirmation to the fleet's one
// question, its busy flag to the fleet's interrupt guard, and nothing is pumped.

#include "image/ImageInfo.h"
#include "seams/Clock.h"
#include "seams/EventPump.h"
#include "seams/Log.h"
#include "seams/MessageBoxes.h"
#include "seams/Progress.h"
#include "tools/tq4800-flash/FleetInterruptGuard.h"
#include "tools/tq4800-flash/FleetReport.h"
#include "update/FleetConfirmation.h"
#include "update/FleetUpdate.h"

#include <array>
#include <cstdint>

class MemberLog final : public Log {
public:
    MemberLog(FleetReport& report, std::size_t member) : report_(report), member_(member) {}

    void AppendLog(std::string_view text) override { report_.Log(member_, text); }
    void ClearLog() override {}
    // The window's report line; the status text itself comes with the result.
    void ReportStatus(StatusCode code) override;

private:
    FleetReport& report_;
    std::size_t member_;
};

// The bar of each segment, turned into the progress of the whole update: the segments are
// weighted by their size, and the time left is the time the segments have taken so far
// stretched to what is still to do.
class MemberProgress final : public Progress, public StepIndicator {
public:
    MemberProgress(FleetReport& report, std::size_t member, const ImageInfo& image, Clock& clock);

    void SetRange(std::uint16_t lower, std::uint16_t upper) override;
    void SetPos(int position) override { position_ = position; }
    void SetStep(int step) override { step_ = step; }
    void StepIt() override;
    void SetStepText(std::string_view text) override;

private:
    FleetReport& report_;
    std::size_t member_;
    Clock& clock_;
    std::array<double, SEGMENT_COUNT> weights_{}; // each segment's share of the whole
    int segment_ = -1;
    std::uint64_t startMs_ = 0;
    int lower_ = 0;
    int upper_ = 100;
    int position_ = 0;
    int step_ = 1;
};

// Boxes other than the confirmation ("Update is complete.", "No instrument found.") are told
// by the instrument's result.
class NoBoxes final : public MessageBoxes {
public:
    MessageAnswer ShowMessage(std::string_view, std::string_view, MessageButtons,
                              MessageIcon) override {
        return MessageAnswer::Ok;
    }
};

class NoEvents final : public EventPump {
public:
    void PumpMessages() override {}
};

// Everything one instrument's update reports to, as the update of a fleet member takes it.
class MemberSeams {
public:
    MemberSeams(std::size_t member, const std::string& resourceName, const ImageInfo& image,
                FleetReport& report, FleetConfirmation& question, FleetInterruptGuard& interrupts,
                Clock& clock);
    MemberSeams(const MemberSeams&) = delete;
    MemberSeams& operator=(const MemberSeams&) = delete;

    const FleetMember& Member() const { return member_; }

private:
    MemberLog log_;
    MemberProgress progress_;
    NoBoxes otherBoxes_;
    FleetMemberBoxes boxes_;
    MemberGuard guard_;
    NoEvents events_;
    FleetMember member_;
};
