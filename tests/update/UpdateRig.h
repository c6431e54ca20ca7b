#pragma once

// The update sequence on a simulated bench and a fake clock, with recording seams: what the
// window would show, what went over the wire and what the instrument's flash holds.

#include "RecordingWindow.h"
#include "fakes/Fakes.h"
#include "fakes/FaultyVisa.h"
#include "image/ImageTestFiles.h"
#include "image/ValidateImage.h"
#include "link/InstrumentSession.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"
#include "update/UpdateSequence.h"

#include <memory>
#include <string>
#include <vector>

inline constexpr char SERIAL[] = "TW00012345";

// The test firmware: newer than the simulator's default revisions, its MAIN segment three
// flash blocks long so that the progress bar and the loader count blocks.
inline ImageContents TestFirmware() {
    ImageContents contents = AcceptedContents();
    std::vector<std::uint8_t>& main = contents.segments[3].payload;
    main.resize(140000);
    for (std::size_t i = 0; i < main.size(); ++i)
        main[i] = static_cast<std::uint8_t>(i * 7 + i / 251);
    return contents;
}

inline sim::InstrumentConfig Instrument(const std::string& serial = SERIAL,
                                        sim::Mode mode = sim::Mode::Normal,
                                        std::vector<sim::Fault> faults = {}) {
    sim::InstrumentConfig config;
    config.serial = serial;
    config.mode = mode;
    config.faults = std::move(faults);
    return config;
}

// A simulated bench on a fake clock, installed as the process's VISA backend behind a
// FaultyVisa for the life of the object.
struct SimulatedBus {
    explicit SimulatedBus(const sim::BenchConfig& config, std::vector<FaultyVisa::Rule> rules = {})
        : bench(std::make_shared<sim::Bench>(config, clock)) {
        std::unique_ptr<visa::ResourceBackend> simulated = visa::MakeSimBackend(bench);
        resources = simulated.get();
        auto faulty = std::make_unique<FaultyVisa>(std::move(simulated), std::move(rules));
        faults = faulty.get();
        visa::InstallBackend(std::move(faulty));
    }
    ~SimulatedBus() { visa::InstallBackend(nullptr); }
    SimulatedBus(const SimulatedBus&) = delete;
    SimulatedBus& operator=(const SimulatedBus&) = delete;

    sim::Instrument& Device(std::size_t index = 0) { return bench->At(index); }
    const std::vector<std::uint8_t>* Flash(std::uint8_t type, std::size_t device = 0) {
        return Device(device).GetLoader().Flash(type);
    }
    std::size_t OpenSessions() const { return resources->OpenSessions(); }

    FakeClock clock;
    std::shared_ptr<sim::Bench> bench;
    visa::ResourceBackend* resources = nullptr;
    FaultyVisa* faults = nullptr;
};

// The update sequence with the recording seams (log, devices, progress, boxes, pump, busy).
struct UpdateRig : RecordingWindow {
    explicit UpdateRig(const sim::BenchConfig& config = {{Instrument()}},
                       std::vector<FaultyVisa::Rule> rules = {},
                       const ImageContents& firmware = TestFirmware())
        : bus(config, std::move(rules)), clock(bus.clock), faults(bus.faults), session(devices),
          sequence(session, image, {log, devices, progress, progress, boxes, busy, pump, clock}) {
        EXPECT_EQ(STATUS_COMPLETE, LoadBytes(WriteImageFile(firmware), image));
        EXPECT_EQ(STATUS_COMPLETE, ValidateImage(image));
        sequence.SetJournal(&journal);
        sequence.SetPowerHold(&power);
        session.OpenResourceManager();
    }
    ~UpdateRig() { session.CloseResourceManager(); }
    UpdateRig(const UpdateRig&) = delete;
    UpdateRig& operator=(const UpdateRig&) = delete;

    UpdateOutcome Run() { return sequence.OnUpdate(); }

    const std::vector<std::uint8_t>* Flash(int position, std::size_t device = 0) {
        return bus.Flash(image.segments[position].type, device);
    }
    std::size_t OpenSessions() const { return bus.OpenSessions(); }

    SimulatedBus bus;
    FakeClock& clock;
    FaultyVisa*& faults;
    ImageInfo image;
    InstrumentSession session;
    UpdateSequence sequence;
};

inline void ExpectRunEndedCleanly(UpdateRig& rig) {
    EXPECT_EQ(0u, rig.OpenSessions());
    EXPECT_EQ(0u, rig.session.m_viInstr);
    EXPECT_FALSE(rig.busy.busy);
    EXPECT_FALSE(rig.busy.updating);
}

// The log of a completed update of TestFirmware, as the window shows it.
std::string CompletedLog(bool switched = true);
