#pragma once

// A simulated bench on a fake clock, installed as the process's VISA backend behind a
// FaultyVisa for the life of the fixture, and the instruments to put on it.

#include "fakes/Fakes.h"
#include "fakes/FaultyVisa.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"

#include <memory>
#include <string>
#include <vector>

inline constexpr char SERIAL[] = "TW00012345";

inline sim::InstrumentConfig Instrument(const std::string& serial = SERIAL,
                                        sim::Mode mode = sim::Mode::Normal,
                                        std::vector<sim::Fault> faults = {}) {
    sim::InstrumentConfig config;
    config.serial = serial;
    config.mode = mode;
    config.faults = std::move(faults);
    return config;
}

struct SimulatedBench {
    explicit SimulatedBench(const sim::BenchConfig& config = sim::DefaultBench(),
                            std::vector<FaultyVisa::Rule> rules = {})
        : bench(std::make_shared<sim::Bench>(config, clock)) {
        std::unique_ptr<visa::ResourceBackend> simulated = visa::MakeSimBackend(bench);
        backend = simulated.get();
        auto faulty = std::make_unique<FaultyVisa>(std::move(simulated), std::move(rules));
        faults = faulty.get();
        visa::InstallBackend(std::move(faulty));
    }
    ~SimulatedBench() { visa::InstallBackend(nullptr); }
    SimulatedBench(const SimulatedBench&) = delete;
    SimulatedBench& operator=(const SimulatedBench&) = delete;

    const std::vector<std::string>& Trace() const { return bench->Trace().Lines(); }
    sim::Instrument& Device(std::size_t index = 0) { return bench->At(index); }
    const std::vector<std::uint8_t>* Flash(std::uint8_t type, std::size_t device = 0) {
        return Device(device).GetLoader().Flash(type);
    }
    std::size_t OpenSessions() const { return backend->OpenSessions(); }

    FakeClock clock;
    std::shared_ptr<sim::Bench> bench;
    visa::ResourceBackend* backend = nullptr;
    FaultyVisa* faults = nullptr;
};
