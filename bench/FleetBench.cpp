// The time of a whole update of a largest accepted file on N simulated instruments at once
// (bench-fleet [N], 8 by default), by tq4800-flash --all on the real clock with the update
// history on, against the same update of one instrument and the floor of one update's fixed
// waits. Side by side, the fleet should take hardly longer than one instrument alone: every
// instrument's time goes into its own pauses, not into the others' work or the disk.

#include "bench/LargestFile.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/ValidateImage.h"
#include "update/LastCatch.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int DEFAULT_INSTRUMENTS = 8;
constexpr int MOST_INSTRUMENTS = 9999;

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

// Instruments in normal firmware, older than the file, that flash at once: all the time is
// the utility's.
std::string BenchText(int instruments) {
    std::string text;
    char serial[16];
    for (int i = 1; i <= instruments; ++i) {
        std::snprintf(serial, sizeof serial, "TW%08d", i);
        text += std::string("instrument ") + serial + "\nflash-line-ms 0\n";
    }
    return text;
}

// Runs the program with the arguments; its exit code, or -1 when it could not run.
int RunProgram(std::vector<std::string> arguments) {
    std::vector<char*> argv;
    for (std::string& argument : arguments)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t child = 0;
    const int failed = posix_spawn(&child, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    int status = 0;
    if (failed != 0 || waitpid(child, &status, 0) != child || !WIFEXITED(status))
        return -1;
    return WEXITSTATUS(status);
}

struct FleetRun {
    double wallMs = 0;
    double cpuMs = 0;
    int exitCode = -1;
};

// tq4800-flash --all on a bench of the given size, with a history file of its own or none.
FleetRun TimeFleet(const std::filesystem::path& folder, int instruments, bool history = true) {
    const std::filesystem::path bench = folder / ("bench-" + std::to_string(instruments));
    const std::string historyFile = (folder / ("history-" + std::to_string(instruments))).string();
    FleetRun run;
    if (!WriteFile(bench, BenchText(instruments)))
        return run;
    setenv("TQ4800_SIM", bench.c_str(), 1);
    // The records are part of a fleet run; they go to the bench's own file, never to the
    // history of whoever runs the bench.
    setenv("TQ4800_HISTORY", history ? historyFile.c_str() : "off", 1);
    const double cpuBefore = CpuSeconds(true);
    const auto start = std::chrono::steady_clock::now();
    run.exitCode = RunProgram(
        {TQ4800_FLASH_PROGRAM, "--all", "--yes", "--json", (folder / "largest.bin").string()});
    run.wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    run.cpuMs = (CpuSeconds(true) - cpuBefore) * 1000.0;
    return run;
}

bool ParseInstruments(int argc, char** argv, int& instruments) {
    if (argc == 1)
        return true;
    char* end = nullptr;
    const long value = argc == 2 ? std::strtol(argv[1], &end, 10) : 0;
    if (argc != 2 || *end != '\0' || value < 1 || value > MOST_INSTRUMENTS)
        return false;
    instruments = static_cast<int>(value);
    return true;
}

} // namespace

int main(int argc, char** argv) try {
    int instruments = DEFAULT_INSTRUMENTS;
    if (!ParseInstruments(argc, argv, instruments)) {
        std::fprintf(stderr, "usage: bench-fleet [INSTRUMENTS]  (1 to %d, default %d)\n",
                     MOST_INSTRUMENTS, DEFAULT_INSTRUMENTS);
        return 64;
    }
    const std::vector<std::uint8_t> bytes = WriteImageFile(LargestFile());
    ImageInfo image;
    MemoryImageStream stream(bytes);
    if (LoadImageFile(stream, image) != STATUS_COMPLETE ||
        ValidateImage(image) != STATUS_COMPLETE) {
        std::fprintf(stderr, "bench-fleet: the largest file is not accepted\n");
        return 1;
    }
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-fleet-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    setenv("TQ4800_VISA", "sim", 1);
    unsetenv("TQ4800_SIM_TRACE");
    // The fleet without a history tells the history's share from that of a busy machine.
    FleetRun one, fleet, bare;
    if (WriteFile(folder / "largest.bin", std::string(bytes.begin(), bytes.end()))) {
        one = TimeFleet(folder, 1);
        fleet = TimeFleet(folder, instruments);
        bare = TimeFleet(folder, instruments, false);
    }
    std::filesystem::remove_all(folder);
    if (one.exitCode != 0 || fleet.exitCode != 0 || bare.exitCode != 0) {
        std::fprintf(stderr, "bench-fleet: tq4800-flash --all ended with %d, %d and %d\n",
                     one.exitCode, fleet.exitCode, bare.exitCode);
        return 1;
    }

    const double floorMs = static_cast<double>(FloorMs(image));
    std::printf("whole update of a largest accepted file (%zu bytes), history on\n", bytes.size());
    std::printf("  floor of the waits %9.1f ms  (of one instrument)\n", floorMs);
    const std::string many = std::to_string(instruments) + " instruments";
    std::printf("  %-18s %9.1f ms  wall / floor %.4f  CPU %.1f ms\n", "1 instrument", one.wallMs,
                one.wallMs / floorMs, one.cpuMs);
    std::printf("  %-18s %9.1f ms  wall / floor %.4f  CPU %.1f ms (%.2f %% of the wall time)\n",
                many.c_str(), fleet.wallMs, fleet.wallMs / floorMs, fleet.cpuMs,
                100.0 * fleet.cpuMs / fleet.wallMs);
    std::printf("  %-18s %9.1f ms  without the history, CPU %.1f ms\n", many.c_str(), bare.wallMs,
                bare.cpuMs);
    std::printf("  %-18s %9.4f  (goal: at most 1.02 for 64, 1.05 for 256)\n",
                (many + " / 1").c_str(), fleet.wallMs / one.wallMs);
    std::printf("  %-18s %9.4f  (what the history adds to the fleet)\n", "history on / off",
                fleet.wallMs / bare.wallMs);
    return 0;
} catch (...) {
    return ReportUncaughtException("bench-fleet");
}
