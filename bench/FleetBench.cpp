// The time of a whole update of a largest accepted file on 8 simulated instruments at once,
// by tq4800-flash --all on the real clock, against the floor of one update's fixed waits.
// Side by side, the fleet should take hardly longer than one instrument alone: every
// instrument's time goes into its own pauses, not into the others' work.

#include "bench/LargestFile.h"
#include "image/ImageFile.h"
#include "image/MemoryImageStream.h"
#include "image/ValidateImage.h"
#include "update/LastCatch.h"

#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int INSTRUMENTS = 8;

bool WriteFile(const std::filesystem::path& path, const std::string& text) {
    std::ofstream out(path, std::ios::binary);
    out.write(text.data(), static_cast<std::streamsize>(text.size()));
    return static_cast<bool>(out);
}

// Instruments in normal firmware, older than the file, that flash at once: all the time is
// the utility's.
std::string BenchText() {
    std::string text;
    for (int i = 1; i <= INSTRUMENTS; ++i)
        text += "instrument TW0000000" + std::to_string(i) + "\nflash-line-ms 0\n";
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

} // namespace

int main() try {
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
    const bool written =
        WriteFile(folder / "largest.bin", std::string(bytes.begin(), bytes.end())) &&
        WriteFile(folder / "bench.conf", BenchText());
    setenv("TQ4800_VISA", "sim", 1);
    setenv("TQ4800_SIM", (folder / "bench.conf").c_str(), 1);
    unsetenv("TQ4800_SIM_TRACE");
    // Eight history records are part of a fleet run; they go to the bench's own file, never
    // to the history of whoever runs the bench.
    setenv("TQ4800_HISTORY", (folder / "history.sqlite3").c_str(), 1);

    const auto start = std::chrono::steady_clock::now();
    const int exitCode = written ? RunProgram({TQ4800_FLASH_PROGRAM, "--all", "--yes", "--json",
                                               (folder / "largest.bin").string()})
                                 : -1;
    const double wallMs =
        std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start).count();
    const double cpuMs = CpuSeconds(true) * 1000.0;
    std::filesystem::remove_all(folder);
    if (exitCode != 0) {
        std::fprintf(stderr, "bench-fleet: tq4800-flash --all ended with %d\n", exitCode);
        return 1;
    }

    const double floorMs = static_cast<double>(FloorMs(image));
    std::printf("whole update of a largest accepted file on %d instruments at once "
                "(%zu bytes each)\n",
                INSTRUMENTS, bytes.size());
    std::printf("  wall time          %9.1f ms\n", wallMs);
    std::printf("  floor of the waits %9.1f ms  (of one instrument)\n", floorMs);
    std::printf("  wall / floor       %9.4f  (goal: at most 1.05)\n", wallMs / floorMs);
    std::printf("  CPU time           %9.1f ms  (%.2f %% of the wall time; goal: under 5 %%)\n",
                cpuMs, 100.0 * cpuMs / wallMs);
    return 0;
} catch (...) {
    return ReportUncaughtException("bench-fleet");
}
