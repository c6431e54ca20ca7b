// The fleet's live lines on a real terminal: tq4800-flash --all in a pseudo-terminal of 80
// columns, which is narrowed while the instruments are flashed; what the screen then shows is
// read through a model of the terminal.

#include "TerminalModel.h"
#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The child on the terminal, its output as the terminal model shows it.
class TerminalRun {
public:
    TerminalRun(const std::vector<std::string>& arguments, const std::string& bench)
        : model_(80, 40) {
        winsize size{};
        size.ws_col = 80;
        size.ws_row = 40;
        child_ = forkpty(&master_, nullptr, nullptr, &size);
        if (child_ == 0) {
            setenv("TQ4800_VISA", "sim", 1);
            setenv("TQ4800_SIM", bench.c_str(), 1);
            setenv("TQ4800_HISTORY", "off", 1);
            setenv("DBUS_SYSTEM_BUS_ADDRESS", "unix:path=/nonexistent", 1);
            std::vector<char*> argv{const_cast<char*>(TQ4800_FLASH_PROGRAM)};
            for (const std::string& argument : arguments)
                argv.push_back(const_cast<char*>(argument.c_str()));
            argv.push_back(nullptr);
            execv(TQ4800_FLASH_PROGRAM, argv.data());
            _exit(127);
        }
    }
    ~TerminalRun() {
        if (child_ > 0 && waitpid(child_, nullptr, WNOHANG) == 0) {
            kill(child_, SIGKILL);
            waitpid(child_, nullptr, 0);
        }
        if (master_ >= 0)
            close(master_);
    }

    bool Started() const { return child_ > 0; }

    // Reads the output until it holds text, or until nothing came for quietMs; false at the
    // end of the output or past the deadline.
    bool ReadUntil(const std::string& text, int quietMs, Clock::time_point deadline) {
        while (Clock::now() < deadline) {
            pollfd ready{master_, POLLIN, 0};
            if (poll(&ready, 1, quietMs) == 0) {
                if (text.empty())
                    return true;
                continue;
            }
            char bytes[4096];
            const ssize_t got = read(master_, bytes, sizeof bytes);
            if (got <= 0)
                return false; // EIO: the child has closed the terminal
            output_.append(bytes, static_cast<std::size_t>(got));
            model_.Feed(std::string_view(bytes, static_cast<std::size_t>(got)));
            if (!text.empty() && output_.find(text) != std::string::npos)
                return true;
        }
        return false;
    }

    // Narrows the terminal: the model first, then the kernel, which sends SIGWINCH.
    void Resize(int columns) {
        model_.Resize(columns);
        winsize size{};
        size.ws_col = static_cast<unsigned short>(columns);
        size.ws_row = 40;
        ioctl(master_, TIOCSWINSZ, &size);
    }

    int Wait() {
        int status = 0;
        waitpid(child_, &status, 0);
        child_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

    const TerminalModel& Model() const { return model_; }

private:
    TerminalModel model_;
    int master_ = -1;
    pid_t child_ = -1;
    std::string output_;
};

std::size_t RowsStartingWith(const std::vector<std::string>& rows, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const std::string& row) { return row.starts_with(text); }));
}

class FleetTerminal : public TempFolderTest {};

// At 80 columns a line about a newer revision and the note about the PC's power are wider than
// the terminal; narrowed to 64 mid-run, every line is wider still. Each instrument must stand
// on the screen once in the block and once in the table, with no stale copy left by a redraw,
// each live line within the width, and the note whole below the block.
TEST_F(FleetTerminal, LiveLinesFitTheTerminalThroughAResize) {
    const std::string demo = Path("demo.bin");
    ASSERT_EQ(0,
              RunCommand(ShellWord(TQ4800_IMAGE_PROGRAM) + " build --demo -o " + ShellWord(demo) +
                             " --model TQ4800 --image-rev 1.10 --utility-rev 1.0.0",
                         folder_.string())
                  .exitCode);
    const std::string bench = Write("bench.conf", Bytes("instrument TW00011111\nmode loader\n"
                                                        "flash-line-ms 150\n"
                                                        "instrument TW00012345\nmode loader\n"
                                                        "flash-line-ms 150\n"
                                                        "instrument TW00067890\nmode loader\n"
                                                        "fpga2 09\n"));
    TerminalRun run({"--all", "--yes", demo}, bench);
    ASSERT_TRUE(run.Started());
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    ASSERT_TRUE(run.ReadUntil("2 / 5", 50, deadline)) << "no live line of the second segment";
    run.ReadUntil("", 40, deadline); // the redraw under way lands before the resize
    run.Resize(64);
    ASSERT_TRUE(run.ReadUntil("3 / 5", 50, deadline)) << "no live line after the resize";
    while (run.ReadUntil("", 500, deadline)) {
    }
    EXPECT_EQ(16, run.Wait()); // the first failure in the table
    const std::vector<std::string> rows = run.Model().AllRows();
    std::string screen;
    for (const std::string& row : rows)
        screen += row + "\n";
    for (const std::string serial : {"TW00011111  ", "TW00012345  ", "TW00067890  "})
        EXPECT_EQ(2u, RowsStartingWith(rows, serial)) << serial << "\n" << screen;
    const std::string note = "tq4800-flash: the PC is not held awake during the update (no "
                             "system bus: No such file or directory); the update runs on";
    const auto first = std::find_if(rows.begin(), rows.end(), [](const std::string& row) {
        return row.starts_with("tq4800-flash: the PC");
    });
    ASSERT_NE(rows.end(), first) << screen;
    EXPECT_EQ(1u, RowsStartingWith(rows, "tq4800-flash: the PC")) << screen;
    std::string joined;
    for (auto row = first; row != rows.end() && !row->empty(); ++row) {
        EXPECT_LE(row->size(), 63u) << *row;
        joined += (joined.empty() ? "" : " ") + *row;
    }
    EXPECT_EQ(note, joined) << screen;
    for (auto row = rows.begin(); row != first; ++row)
        EXPECT_TRUE(!row->starts_with("TW") || row->size() <= 63u) << *row;
}

} // namespace
