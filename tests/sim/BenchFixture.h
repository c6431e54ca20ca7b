#pragma once

// A simulated bench on a fake clock, installed as the process's VISA backend for the life
// of the fixture.

#include "fakes/Fakes.h"
#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "sim/Bench.h"
#include "sim/SimBackend.h"

#include <memory>
#include <string>
#include <vector>

struct SimulatedBench {
    explicit SimulatedBench(const sim::BenchConfig& config = sim::DefaultBench())
        : bench(std::make_shared<sim::Bench>(config, clock)) {
        auto made = visa::MakeSimBackend(bench);
        backend = made.get();
        visa::InstallBackend(std::move(made));
    }
    ~SimulatedBench() { visa::InstallBackend(nullptr); }
    SimulatedBench(const SimulatedBench&) = delete;
    SimulatedBench& operator=(const SimulatedBench&) = delete;

    const std::vector<std::string>& Trace() const { return bench->Trace().Lines(); }
    sim::Instrument& Instrument(std::size_t index = 0) { return bench->At(index); }

    FakeClock clock;
    std::shared_ptr<sim::Bench> bench;
    visa::ResourceBackend* backend = nullptr;
};

inline sim::InstrumentConfig SimInstrument(const std::string& serial,
                                           sim::Mode mode = sim::Mode::Normal) {
    sim::InstrumentConfig config;
    config.serial = serial;
    config.mode = mode;
    return config;
}
