// tq4800-flash while it writes an instrument's flash: what would end or stop the program is
// refused, for one instrument and for a fleet until its last instrument is done, also on a
// real terminal, where Ctrl-Z and a write from the background would stop it.

#include "FlashProgram.h"

#include <chrono>
#include <csignal>
#include <cstring>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/syscall.h>
#include <termios.h>
#include <unistd.h>

namespace {

using std::chrono::steady_clock;
using namespace std::chrono_literals;

constexpr int STOPPED = 200; // the exit code of a run that was stopped on the way

const std::string SINGLE_NOTE =
    "\ntq4800-flash: the instrument's flash is being written; the update goes on.\n";
const std::string FLEET_NOTE =
    "\ntq4800-flash: the instruments' flash is being written; the update goes on.\n";

class FlashSignals : public FlashProgramTest {
protected:
    // Starts tq4800-flash on the bench in a process group of its own, with the signals as
    // a shell leaves them; prepare then sets up its terminal or output.
    pid_t Start(const std::vector<std::string>& arguments, const std::string& bench,
                const std::function<void()>& prepare) {
        const std::string benchFile = Write("bench.conf", Bytes(bench));
        std::vector<std::string> all = {TQ4800_FLASH_PROGRAM};
        all.insert(all.end(), arguments.begin(), arguments.end());
        return StartPrepared(all, [&] {
            setpgid(0, 0);
            for (const int signal : {SIGINT, SIGQUIT, SIGTERM, SIGHUP, SIGTSTP, SIGTTIN, SIGTTOU})
                std::signal(signal, SIG_DFL);
            setenv("TQ4800_VISA", "sim", 1);
            setenv("TQ4800_SIM", benchFile.c_str(), 1);
            setenv("TQ4800_HISTORY", "off", 1);
            prepare();
        });
    }
};

// The exit code of the child, STOPPED when it was stopped on the way (it is then continued),
// -1 when a signal ended it or it was still running after a minute.
int WaitForEnd(pid_t child) {
    const steady_clock::time_point deadline = steady_clock::now() + 60s;
    bool stopped = false;
    int status = 0;
    while (steady_clock::now() < deadline) {
        const pid_t waited = waitpid(child, &status, WNOHANG | WUNTRACED);
        if (waited == child && WIFSTOPPED(status)) {
            stopped = true;
            kill(child, SIGCONT);
        } else if (waited == child) {
            return WIFEXITED(status) ? (stopped ? STOPPED : WEXITSTATUS(status)) : -1;
        }
        usleep(10000);
    }
    kill(child, SIGKILL);
    waitpid(child, &status, 0);
    return -1;
}

// Appends what the descriptor gives to text until text holds until ("" for: to the end),
// its writers have closed it, or a minute is up; true when text holds until.
bool ReadUntil(int descriptor, std::string& text, const std::string& until) {
    const steady_clock::time_point deadline = steady_clock::now() + 60s;
    while ((until.empty() || !Contains(text, until)) && steady_clock::now() < deadline) {
        pollfd ready = {descriptor, POLLIN, 0};
        if (poll(&ready, 1, 100) != 1)
            continue;
        char bytes[4096];
        const ssize_t count = read(descriptor, bytes, sizeof bytes);
        if (count <= 0)
            break;
        text.append(bytes, static_cast<std::size_t>(count));
    }
    return Contains(text, until);
}

// Signals sent while the flash is written, output into a file: the update completes, and
// the note of a refusal stands on a line of its own between the log's lines. A fleet keeps
// refusing until its last instrument is done, not only until its first.
TEST_F(FlashSignals, RefusedWhileTheFlashIsWritten) {
    const std::string oneSlow = "instrument TW00012345\nmode loader\nflash-line-ms 50\n";
    // One instrument fails in its first segment, one at the revision check (after the switch
    // to the loader), while the third still writes.
    const std::string fleet = "instrument TW00011111\nmode loader\nfault erase-ng segment=1\n"
                              "instrument TW00012345\nmode loader\nflash-line-ms 400\n"
                              "instrument TW00067890\nfpga2 09\nreboot-ms 500\n";
    struct Case {
        std::vector<std::string> arguments;
        std::string bench;
        const char* sendAfter;
        std::vector<int> signals;
        int exitCode;
        std::string note; // "" when the signals are ignored without a note
        int loaded;       // segments loaded, by every instrument together
    } cases[] = {
        {{"--yes", demoFile}, oneSlow, "-> Update 1C3", {SIGQUIT, SIGINT}, 0, SINGLE_NOTE, 5},
        {{"--yes", demoFile}, oneSlow, "-> Update 1C3", {SIGTTIN, SIGTTOU}, 0, "", 5},
        {{"--all", "--yes", demoFile},
         fleet,
         "TW00067890: Error number: 16",
         {SIGINT, SIGTERM, SIGHUP},
         13,
         FLEET_NOTE,
         6},
    };
    const std::string output = Path("output");
    for (const Case& c : cases) {
        SCOPED_TRACE(testing::PrintToString(c.signals) + " " + c.sendAfter);
        std::filesystem::remove(output);
        const pid_t child = Start(c.arguments, c.bench, [&] {
            const int file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
            dup2(file, STDOUT_FILENO);
            dup2(file, STDERR_FILENO);
        });
        ASSERT_GT(child, 0);
        int status = 0;
        while (!Contains(ReadWholeFile(output), c.sendAfter) &&
               waitpid(child, &status, WNOHANG) == 0)
            usleep(10000);
        for (const int signal : c.signals)
            kill(child, signal);
        EXPECT_EQ(c.exitCode, WaitForEnd(child));
        const std::string text = ReadWholeFile(output);
        EXPECT_TRUE(Contains(text, c.note)) << text;
        int loaded = 0;
        for (const std::string& line : Lines(text)) {
            loaded += line.ends_with("    Loading ... OK") ? 1 : 0;
            EXPECT_TRUE(!Contains(line, "tq4800-flash") || line.starts_with("tq4800-flash"))
                << line;
        }
        EXPECT_EQ(c.loaded, loaded) << text;
    }
}

// On a terminal with TOSTOP set (stty tostop): Ctrl-Z typed while the flash is written, and
// the program sent to the background while it writes its log, stop it only once its flash is
// written. A session leader stands in for the shell: it moves the program between the
// foreground and the background, as bg and fg do, and tells whether it was stopped.
TEST_F(FlashSignals, OnATerminalNeitherCtrlZNorTheBackgroundStopTheFlash) {
    for (const bool typeCtrlZ : {true, false}) {
        SCOPED_TRACE(typeCtrlZ ? "Ctrl-Z" : "background");
        int command[2];
        ASSERT_EQ(0, pipe(command));
        int terminal = -1;
        const struct winsize size = {24, 80, 0, 0};
        const pid_t leader = forkpty(&terminal, nullptr, nullptr, &size);
        ASSERT_GE(leader, 0);
        if (leader == 0) {
            close(command[1]);
            struct termios settings {};
            tcgetattr(STDIN_FILENO, &settings);
            settings.c_lflag |= TOSTOP;
            tcsetattr(STDIN_FILENO, TCSANOW, &settings);
            std::signal(SIGTTOU, SIG_IGN);
            const pid_t program =
                Start({"--yes", demoFile}, "instrument TW00012345\nmode loader\nflash-line-ms 30\n",
                      [&] { close(command[0]); });
            setpgid(program, program);
            tcsetpgrp(STDIN_FILENO, program);
            // 'b': to the background; 'f': to the foreground, continued.
            for (char order; read(command[0], &order, 1) == 1 && order != 'f';)
                tcsetpgrp(STDIN_FILENO, getpgrp());
            const int stoppedSoFar = waitpid(program, nullptr, WNOHANG | WUNTRACED) == program;
            tcsetpgrp(STDIN_FILENO, program);
            kill(program, SIGCONT);
            const int exitCode = WaitForEnd(program);
            _exit(stoppedSoFar ? STOPPED : exitCode);
        }
        close(command[0]);
        std::string screen;
        ASSERT_TRUE(ReadUntil(terminal, screen, "-> Update 1C3")) << screen;
        if (typeCtrlZ)
            EXPECT_EQ(1, write(terminal, "\x1A", 1));
        else
            EXPECT_EQ(1, write(command[1], "b", 1));
        EXPECT_TRUE(ReadUntil(terminal, screen, "-> Update HTTP")) << screen;
        EXPECT_EQ(1, write(command[1], "f", 1));
        ReadUntil(terminal, screen, "--------------- Completed ---------------");
        int status = 0;
        ASSERT_EQ(leader, waitpid(leader, &status, 0));
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << screen;
        if (typeCtrlZ) { // noted, and not echoed as "^Z" into the progress bar
            EXPECT_TRUE(Contains(screen, "flash is being written; the update goes on.")) << screen;
            EXPECT_FALSE(Contains(screen, "^Z")) << screen;
        }
        close(command[1]);
        close(terminal);
    }
}

// A signal sent to the program may be taken by any of its threads, also by the one blocked
// writing an event into a full pipe that nobody reads yet: its write is taken up again when
// the refusal is noted, and the reader gets every event.
TEST_F(FlashSignals, ARefusalLosesNoEventOfABlockedOutput) {
    const std::string bench = "instrument TW00012345\nmode loader\n";
    const std::vector<std::string> arguments = {"--json", "--yes", demoFile};
    int output[2];
    ASSERT_EQ(0, pipe(output));
    ASSERT_EQ(4096, fcntl(output[1], F_SETPIPE_SZ, 4096));
    const pid_t child = Start(arguments, bench, [&] {
        dup2(output[1], STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
        close(output[0]);
    });
    close(output[1]);
    // Full once the pending bytes stop growing short of the pipe's size.
    int pending = 0, before = -1, still = 0;
    for (const auto deadline = steady_clock::now() + 30s;
         still < 10 && steady_clock::now() < deadline; usleep(10000)) {
        ioctl(output[0], FIONREAD, &pending);
        still = pending == before && pending > 3000 ? still + 1 : 0;
        before = pending;
    }
    ASSERT_EQ(10, still);
    for (const auto& thread :
         std::filesystem::directory_iterator("/proc/" + std::to_string(child) + "/task"))
        syscall(SYS_tgkill, child, std::stoi(thread.path().filename()), SIGINT);
    usleep(100000); // for the signals to be taken before the pipe has room again
    std::string events;
    ReadUntil(output[0], events, "");
    close(output[0]);
    EXPECT_EQ(0, WaitForEnd(child));

    const pid_t calm = Start(arguments, bench, [&] {
        dup2(open(Path("calm").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600), STDOUT_FILENO);
        dup2(open("/dev/null", O_WRONLY), STDERR_FILENO);
    });
    ASSERT_EQ(0, WaitForEnd(calm));
    EXPECT_EQ(Lines(ReadWholeFile(Path("calm"))).size(), Lines(events).size()) << events;
}

} // namespace
