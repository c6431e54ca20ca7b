#include "link/visa/BackendFactory.h"

#include "link/visa/Dispatch.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/SimBackend.h"
#include "seams/Clock.h"
#include "sim/Bench.h"
#include "sim/BenchFile.h"

#include <cstdio>
#include <cstdlib>

namespace visa {

namespace {

std::string Environment(const char* name) {
    const char* value = std::getenv(name);
    return value ? value : "";
}

std::unique_ptr<Backend> CreateSim(std::string_view, std::string& error) {
    sim::BenchConfig config = sim::DefaultBench();
    std::string benchPath = Environment("TQ4800_SIM");
    if (!benchPath.empty() && !sim::LoadBenchFile(benchPath, config, error)) {
        error = "VISA backend sim not available: bench file " + error;
        return nullptr;
    }
    auto bench = std::make_shared<sim::Bench>(config, SystemClock());
    std::string tracePath = Environment("TQ4800_SIM_TRACE");
    if (!tracePath.empty() && !bench->Trace().WriteTo(tracePath)) {
        error = "VISA backend sim not available: cannot write the transcript " + tracePath;
        return nullptr;
    }
    return MakeSimBackend(std::move(bench));
}

std::unique_ptr<Backend> CreateUnavailable(std::string_view choice, std::string& error) {
    if (choice.empty())
        error = "VISA backend not available: no VISA library and no USB backend in this build";
    else
        error = "VISA backend " + std::string(choice) + " not available";
    return nullptr;
}

bool IsSim(std::string_view choice) {
    return choice == "sim";
}

bool IsAny(std::string_view) {
    return true;
}

// Tried in order; the first entry whose test accepts the choice creates the backend.
struct BackendEntry {
    bool (*accepts)(std::string_view choice);
    std::unique_ptr<Backend> (*create)(std::string_view choice, std::string& error);
};

constexpr BackendEntry BACKENDS[] = {
    {IsSim, CreateSim},
    {IsAny, CreateUnavailable},
};

} // namespace

std::unique_ptr<Backend> CreateBackend(std::string_view choice, std::string& error) {
    for (const BackendEntry& entry : BACKENDS)
        if (entry.accepts(choice))
            return entry.create(choice, error);
    return nullptr;
}

bool InstallBackendFromEnvironment() {
    std::string error;
    std::unique_ptr<Backend> backend = CreateBackend(Environment("TQ4800_VISA"), error);
    if (!backend) {
        std::fprintf(stderr, "%s\n", error.c_str());
        InstallBackend(nullptr);
        return false;
    }
    InstallBackend(std::move(backend));
    return true;
}

} // namespace visa
