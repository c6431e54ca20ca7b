#pragma once

// The update sequence on a simulated bench and a fake clock, with recording seams: what the
// window would show, what went over the wire and what the instrument's flash holds.

#include "fakes/RecordingWindow.h"
#include "image/ImageTestFiles.h"
#include "image/ValidateImage.h"
#include "link/InstrumentSession.h"
#include "sim/BenchFixture.h"
#include "update/UpdateSequence.h"

#include <memory>
#include <string>
#include <vector>

// The update sequence with the recording seams (log, devices, progress, boxes, pump, busy).
struct UpdateRig : RecordingWindow {
    explicit UpdateRig(const sim::BenchConfig& config = {{Instrument()}},
                       std::vector<FaultyVisa::Rule> rules = {},
                       const ImageContents& firmware = TestFirmware())
        : bus(config, std::move(rules)), clock(bus.clock), faults(bus.faults), session(devices),
          sequence(session, image, Seams(clock)) {
        EXPECT_EQ(STATUS_COMPLETE, LoadBytes(WriteImageFile(firmware), image));
        EXPECT_EQ(STATUS_COMPLETE, ValidateImage(image));
        sequence.SetJournal(&journal);
        sequence.SetPowerHold(&power);
        session.OpenResourceManager();
    }
    ~UpdateRig() { session.CloseResourceManager(); }

    UpdateOutcome Run() { return sequence.OnUpdate(); }

    const std::vector<std::uint8_t>* Flash(int position, std::size_t device = 0) {
        return bus.Flash(image.segments[position].type, device);
    }

    SimulatedBench bus;
    FakeClock& clock;
    FaultyVisa*& faults;
    ImageInfo image;
    InstrumentSession session;
    UpdateSequence sequence;
};

inline void ExpectRunEndedCleanly(UpdateRig& rig) {
    EXPECT_EQ(0u, rig.bus.OpenSessions());
    EXPECT_EQ(0u, rig.session.m_viInstr);
    EXPECT_FALSE(rig.busy.busy);
    EXPECT_FALSE(rig.busy.updating);
}

// The log of a completed update of TestFirmware, as the window shows it.
std::string CompletedLog(bool switched = true);
