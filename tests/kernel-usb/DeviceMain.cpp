// kernel-usb-device: the simulated TQ4800 as a USB device of the Linux kernel's own gadget
// stack. It serves a USBTMC interface through FunctionFS (the instance mounted at
// --functionfs, a function of the configfs gadget --gadget), hands every message to the
// first instrument of the bench file, and while that instrument reboots takes the gadget off
// the bus, putting it back (a new device at a new address) once the reboot is over. It runs
// until it is stopped.

#include "seams/Clock.h"
#include "sim/BenchFile.h"
#include "sim/Instrument.h"
#include "tests/kernel-usb/FunctionFs.h"
#include "tests/kernel-usb/Gadget.h"
#include "tests/kernel-usb/InstrumentPort.h"
#include "tests/kernel-usb/UsbtmcFunction.h"

#include <atomic>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <thread>
#include <time.h>

namespace {

constexpr const char* kUsage =
    "usage: kernel-usb-device --functionfs DIR --gadget DIR --bench FILE [--speed high|full]\n"
    "           [--no-zlp] [--reboot-ms N]\n";

struct Options {
    std::string functionFs, gadget, bench;
    // Full speed has 64-byte packets, high speed 512. Without zero-length packets, replies
    // that fill whole packets end with their last full one.
    bool fullSpeed = false, zeroLengthPackets = true;
    std::optional<std::uint32_t> rebootMs; // off the bus when the instrument switches to its loader
};

bool ParseOptions(int argc, char** argv, Options& options) {
    for (int i = 1; i < argc; ++i) {
        const std::string_view option = argv[i];
        const bool hasValue = i + 1 < argc;
        if (option == "--functionfs" && hasValue)
            options.functionFs = argv[++i];
        else if (option == "--gadget" && hasValue)
            options.gadget = argv[++i];
        else if (option == "--bench" && hasValue)
            options.bench = argv[++i];
        else if (option == "--speed" && hasValue && std::string_view(argv[i + 1]) == "full")
            options.fullSpeed = (++i, true);
        else if (option == "--speed" && hasValue && std::string_view(argv[i + 1]) == "high")
            options.fullSpeed = (++i, false);
        else if (option == "--no-zlp")
            options.zeroLengthPackets = false;
        else if (option == "--reboot-ms" && hasValue)
            options.rebootMs = static_cast<std::uint32_t>(std::strtoul(argv[++i], nullptr, 10));
        else
            return false;
    }
    return !options.functionFs.empty() && !options.gadget.empty() && !options.bench.empty();
}

// A line of the device's log, stamped with CLOCK_MONOTONIC like the kernel's own log, so
// that the two show how long enumeration took after the gadget was bound.
void Say(const std::string& text) {
    timespec now{};
    clock_gettime(CLOCK_MONOTONIC, &now);
    std::fprintf(stderr, "[%5ld.%06ld] device: %s\n", static_cast<long>(now.tv_sec),
                 now.tv_nsec / 1000, text.c_str());
}

// Raised by the bulk-out thread when a message has sent the instrument into a reboot.
std::atomic<bool> rebooting{false};

// Off the bus while the instrument reboots, then back; a reboot that does not end within
// its time and ten seconds more is a fault of the bench.
[[noreturn]] void Serve(const kernelusb::Gadget& gadget, kernelusb::UsbtmcFunction& function,
                        kernelusb::InstrumentPort& port, std::uint32_t rebootMs) {
    for (;;) {
        rebooting.wait(false);
        gadget.Unbind();
        function.Reset();
        Say("off the bus while the instrument reboots");
        const auto deadline = std::chrono::steady_clock::now() +
                              std::chrono::milliseconds(rebootMs) + std::chrono::seconds(10);
        while (port.OffTheBus()) {
            if (std::chrono::steady_clock::now() > deadline)
                throw std::runtime_error("the instrument did not come back from its reboot");
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
        port.NewBoot();
        function.Reset();
        rebooting = false;
        gadget.Bind();
        Say("back on the bus");
    }
}

int Run(const Options& options) {
    sim::BenchConfig bench;
    std::string error;
    if (!sim::LoadBenchFile(options.bench, bench, error) || bench.instruments.empty())
        throw std::runtime_error(error.empty() ? "the bench file has no instrument" : error);
    sim::InstrumentConfig config = bench.instruments.front();
    config.rebootMs = options.rebootMs.value_or(config.rebootMs);
    static sim::Instrument instrument(config, SystemClock());
    const kernelusb::Gadget gadget(options.gadget);
    gadget.Unbind(); // left bound by an earlier device that did not end cleanly
    gadget.Describe(config.serial, options.fullSpeed);
    const kernelusb::FunctionFsFiles files = kernelusb::OpenFunctionFs(options.functionFs);
    static kernelusb::InstrumentPort port(instrument);
    const kernelusb::FunctionSettings settings{options.zeroLengthPackets,
                                               options.fullSpeed ? kernelusb::kFullSpeedPacket
                                                                 : kernelusb::kHighSpeedPacket};
    static kernelusb::UsbtmcFunction function(files, port, settings, [] {
        rebooting = true;
        rebooting.notify_one();
    });
    gadget.Bind();
    Say(config.serial + " on the bus at " + (options.fullSpeed ? "full" : "high") + " speed" +
        (options.zeroLengthPackets ? "" : ", without zero-length packets"));
    Serve(gadget, function, port, config.rebootMs);
}

} // namespace

int main(int argc, char** argv) {
    Options options;
    if (argc == 2 && std::string_view(argv[1]) == "--help") {
        std::fputs(kUsage, stdout);
        return 0;
    }
    if (!ParseOptions(argc, argv, options)) {
        std::fputs(kUsage, stderr);
        return 64;
    }
    try {
        return Run(options);
    } catch (const std::exception& failure) {
        std::fprintf(stderr, "kernel-usb-device: %s\n", failure.what());
        std::_Exit(1); // the endpoint threads are still running: end without unwinding them
    }
}
