#include "backend/BackendFactory.h"

#include "link/visa/Dispatch.h"
#include "link/visa/LibusbTransport.h"
#include "link/visa/ResourceBackend.h"
#include "link/visa/SystemBackend.h"
#include "link/visa/UsbBackend.h"
#include "seams/Clock.h"
#include "sim/Bench.h"
#include "sim/BenchFile.h"
#include "sim/SimBackend.h"

#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <sstream>

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
    bench->Trace().KeepLines(false);
    std::string tracePath = Environment("TQ4800_SIM_TRACE");
    if (!tracePath.empty() && !bench->Trace().WriteTo(tracePath)) {
        error = "VISA backend sim not available: cannot write the transcript " + tracePath;
        return nullptr;
    }
    return MakeSimBackend(std::move(bench));
}

// The one-line reason a backend gave for not starting.
std::string Reason(const std::ostringstream& diagnostics) {
    std::string text = diagnostics.str();
    while (!text.empty() && text.back() == '\n')
        text.pop_back();
    return text;
}

// Problems found while the usb backend runs (an instrument without permission) go to
// standard error as they happen.
std::unique_ptr<Backend> CreateUsb(std::string_view, std::string& error) {
    std::ostringstream reason;
    std::shared_ptr<UsbTransport> transport = StartLibusbTransport(reason);
    if (!transport) {
        error = Reason(reason);
        return nullptr;
    }
    return std::make_unique<ResourceBackend>(std::make_unique<UsbBackend>(transport, std::cerr));
}

std::unique_ptr<Backend> CreateSystem(std::string_view path, std::string& error) {
    std::ostringstream reason;
    std::unique_ptr<Backend> backend = LoadSystemBackend(std::string(path), reason);
    if (!backend)
        error = Reason(reason);
    return backend;
}

// Unset: an installed vendor library when one serves, else USBTMC over libusb.
std::unique_ptr<Backend> CreateDefault(std::string_view, std::string& error) {
    if (std::unique_ptr<Backend> vendor = LoadInstalledVisaLibrary(std::cerr))
        return vendor;
    return CreateUsb("usb", error);
}

bool IsUnset(std::string_view choice) {
    return choice.empty();
}

bool IsSim(std::string_view choice) {
    return choice == "sim";
}

bool IsUsb(std::string_view choice) {
    return choice == "usb";
}

// Any other value names a VISA library: a path, or a file name the dynamic loader finds.
bool IsLibrary(std::string_view) {
    return true;
}

// Tried in order; the first entry whose test accepts the choice creates the backend.
struct BackendEntry {
    bool (*accepts)(std::string_view choice);
    std::unique_ptr<Backend> (*create)(std::string_view choice, std::string& error);
};

constexpr BackendEntry BACKENDS[] = {
    {IsUnset, CreateDefault},
    {IsSim, CreateSim},
    {IsUsb, CreateUsb},
    {IsLibrary, CreateSystem},
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
