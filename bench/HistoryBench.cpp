// The time of tq4800-flash --history --limit 20 on a history of one record and on one of a
// million: the listing reads the newest records by their index, so its time should not grow
// with the history. Each figure is the best of five runs of the program, start included.

#include "history/HistoryDatabase.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <spawn.h>
#include <sqlite3.h>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

namespace {

constexpr int RUNS = 5;

// A history of count ended runs, one second apart, made by the program's own schema.
bool MakeHistory(const std::string& path, long count) {
    {
        HistoryDatabase database;
        std::string error;
        if (!database.Open(path, HistoryDatabase::Access::Write, error)) {
            std::fprintf(stderr, "bench-history: %s\n", error.c_str());
            return false;
        }
    }
    sqlite3* connection = nullptr;
    const std::string sql =
        "WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < " +
        std::to_string(count) +
        ") INSERT INTO updates (started_utc, ended_utc, host, user_name, front_end, process_id, "
        "process_start, boot_id, resource_name, serial_number, file_path, file_size, "
        "file_sha256, file_model, file_revision, instrument_revision, segments_flashed, "
        "segments_held, state, status_code, status_text, duration_ms) SELECT "
        "datetime('2020-01-01', '+' || i || ' seconds'), datetime('2020-01-01', '+' || i || "
        "' seconds'), 'bench', 'op', 'terminal', i, i, 'boot', "
        "printf('USB0::0x1D7A::0x52C1::TW%08d::INSTR', i % 256), printf('TW%08d', i % 256), "
        "'/bench/demo.bin', 106668, 'e860bbf4', 'TQ4800', '1.10', '1.05  A  01 01 01 1.05', "
        "'FPGA1 FPGA2 FPGA3 MAIN HTTP', '', 'ended', 0, 'Update is complete.', 20000 FROM n";
    const bool made = sqlite3_open(path.c_str(), &connection) == SQLITE_OK &&
                      sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK;
    if (!made)
        std::fprintf(stderr, "bench-history: %s\n", sqlite3_errmsg(connection));
    sqlite3_close(connection);
    return made;
}

// The best wall time of the listing, in milliseconds; negative when it failed.
double TimeListing(const std::string& path) {
    setenv("TQ4800_HISTORY", path.c_str(), 1);
    char program[] = TQ4800_FLASH_PROGRAM;
    char history[] = "--history", limit[] = "--limit", twenty[] = "20";
    char* argv[] = {program, history, limit, twenty, nullptr};
    double best = -1;
    for (int run = 0; run < RUNS; ++run) {
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
        const auto start = std::chrono::steady_clock::now();
        pid_t child = 0;
        int status = 0;
        const bool ran = posix_spawn(&child, program, &actions, nullptr, argv, environ) == 0 &&
                         waitpid(child, &status, 0) == child && WIFEXITED(status) &&
                         WEXITSTATUS(status) == 0;
        const double ms =
            std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - start)
                .count();
        posix_spawn_file_actions_destroy(&actions);
        if (!ran)
            return -1;
        best = best < 0 ? ms : std::min(best, ms);
    }
    return best;
}

} // namespace

int main() {
    const std::filesystem::path folder =
        std::filesystem::temp_directory_path() / ("bench-history-" + std::to_string(getpid()));
    std::filesystem::create_directories(folder);
    const std::string one = (folder / "one.sqlite3").string();
    const std::string million = (folder / "million.sqlite3").string();
    const bool made = MakeHistory(one, 1) && MakeHistory(million, 1000000);
    const double oneMs = made ? TimeListing(one) : -1;
    const double millionMs = made ? TimeListing(million) : -1;
    std::filesystem::remove_all(folder);
    if (oneMs < 0 || millionMs < 0) {
        std::fprintf(stderr, "bench-history: the listing failed\n");
        return 1;
    }
    std::printf("tq4800-flash --history --limit 20, best of %d runs\n", RUNS);
    std::printf("  1 record           %8.1f ms\n", oneMs);
    std::printf("  1,000,000 records  %8.1f ms  (%.2f x)\n", millionMs, millionMs / oneMs);
    return 0;
}
