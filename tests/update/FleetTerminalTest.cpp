// The fleet's live lines on a real terminal: tq4800-flash --all in a pseudo-terminal of 80
// columns, narrowed while the instruments are flashed, or of fewer rows than instruments; what
// the screen then shows is read through a model of the terminal.

#include "FlashProgram.h"
#include "TerminalModel.h"
#include "status/StatusExplanations.h"

#include <chrono>
#include <csignal>
#include <gtest/gtest.h>
#include <map>
#include <poll.h>
#include <pty.h>
#include <regex>
#include <sys/ioctl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

// The child on the terminal, its output as the terminal model shows it.
class TerminalRun {
public:
    TerminalRun(const std::vector<std::string>& arguments, const std::string& bench, int rows)
        : model_(80, rows), rows_(rows) {
        winsize size{};
        size.ws_col = 80;
        size.ws_row = static_cast<unsigned short>(rows);
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
        size.ws_row = static_cast<unsigned short>(rows_);
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
    int rows_;
    int master_ = -1;
    pid_t child_ = -1;
    std::string output_;
};

std::size_t RowsStartingWith(const std::vector<std::string>& rows, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const std::string& row) { return row.starts_with(text); }));
}

class FleetTerminal : public FlashProgramTest {};

const std::regex
    PROGRESS_LINE(R"(TW\d{8}  ([1-5]) / 5  \[(#*)(\.*)\]  ([ \d]{2}\d)%  \d+:[0-5]\d left)");
const std::regex RESULT_LINE(R"(TW\d{8}  (Update is complete\.|Error number: (\d+)  (.*)))");
const std::regex STEP_LINE(R"(TW\d{8}  ([\w -]+ \.\.\.|-> Update \w+|Error number: \d+))");
const std::regex OTHERS_LINE(R"(\+ (\d+) more: (\d+) completed, (\d+) failed, (\d+) at work)");

// The instruments' lines of a screen (clipped to width): a progress line with a bar as full as
// its percent, within its segment of the demo file; a log step; a result with its explanation.
// While instruments are hidden at work, those shown are at work too.
void ExpectLiveLines(const std::vector<std::string>& screen, std::size_t width) {
    std::smatch part;
    bool resultShown = false, hiddenAtWork = false;
    for (const std::string& row : screen) {
        if (!row.starts_with("TW") && !row.starts_with("+ "))
            continue;
        SCOPED_TRACE(row);
        if (std::regex_match(row, part, PROGRESS_LINE)) {
            const int percent = std::stoi(part[4]);
            EXPECT_EQ(20, part[2].length() + part[3].length());
            EXPECT_EQ(percent / 5, part[2].length());
            EXPECT_TRUE(WithinDemoSegment(std::stoi(part[1]), percent));
        } else if (std::regex_match(row, part, RESULT_LINE)) {
            resultShown = true;
            if (part[2].matched) {
                EXPECT_TRUE(ExplainStatus(std::stoi(part[2])).starts_with(part[3].str()));
            }
        } else if (std::regex_match(row, part, OTHERS_LINE)) {
            hiddenAtWork = part[4] != "0";
        } else if (!std::regex_match(row, STEP_LINE)) {
            ADD_FAILURE() << "not a live line";
        }
        EXPECT_LE(row.size(), width);
    }
    EXPECT_FALSE(resultShown && hiddenAtWork);
}

// Instruments TW000000<first> on, each in its loader with the lines each.
std::string Bench(int first, int instruments, const std::string& each) {
    std::string bench;
    for (int i = first; i < first + instruments; ++i)
        bench += "instrument TW000000" + std::to_string(i) + "\nmode loader\n" + each;
    return bench;
}

// At 80 columns a line about a newer revision and the note about the PC's power are wider than
// the terminal; narrowed to 64 mid-run, every line is wider still; and a fleet may be taller
// than the terminal. No redraw may leave a stale copy: each instrument stands on the screen
// at most once in the block and once in the table, each live line within the width, and the
// note whole below the block.
TEST_F(FleetTerminal, LiveLinesFitTheTerminal) {
    const struct {
        const char* label;
        int rows;
        std::string bench;
        int narrowedTo; // mid-run, or 0
        int exitCode;
        std::size_t blockLines; // of each instrument by the end: in the block and the table
        std::string others;     // the block's last line, when not all are shown
    } cases[] = {
        {"narrowed", 40, Bench(10, 2, "flash-line-ms 150\n") + Bench(12, 1, "fpga2 09\n"), 64, 16,
         2, "TW00000012  Error number: 16"},
        // Shown at the end: the first four; two of the others failed early.
        {"taller than the terminal", 8,
         Bench(10, 8, "flash-line-ms 20\n") + Bench(18, 2, "fpga2 09\n"), 0, 16, 1,
         "+ 6 more: 4 completed, 2 failed, 0 at work"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.label);
        TerminalRun run({"--all", "--yes", demoFile}, Write("bench.conf", Bytes(c.bench)), c.rows);
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        const std::size_t widest =
            static_cast<std::size_t>(c.narrowedTo > 0 ? c.narrowedTo : 80) - 1;
        ASSERT_TRUE(run.ReadUntil("2 / 5", 50, deadline)) << "no line of the second segment";
        run.ReadUntil("", 40, deadline); // the redraw under way lands
        if (c.narrowedTo > 0) {
            run.Resize(c.narrowedTo);
            ASSERT_TRUE(run.ReadUntil("3 / 5", 50, deadline)) << "no live line after the resize";
            run.ReadUntil("", 40, deadline);
        }
        std::vector<std::string> rows = run.Model().AllRows();
        ExpectLiveLines({rows.end() - c.rows, rows.end()}, widest);
        while (run.ReadUntil("", 500, deadline)) {
        }
        EXPECT_EQ(c.exitCode, run.Wait());
        rows = run.Model().AllRows();
        std::string screen;
        for (const std::string& row : rows)
            screen += row + "\n";
        for (const std::string& row : Lines(c.bench)) {
            if (!row.starts_with("instrument "))
                continue;
            const std::size_t count = RowsStartingWith(rows, row.substr(11) + "  ");
            EXPECT_TRUE(count >= c.blockLines && count <= 2) << row << "\n" << screen;
        }
        const auto first = std::find_if(rows.begin(), rows.end(), [](const std::string& row) {
            return row.starts_with("tq4800-flash: the PC");
        });
        ASSERT_NE(rows.end(), first) << screen;
        EXPECT_EQ(1u, RowsStartingWith(rows, "tq4800-flash: the PC")) << screen;
        std::string note;
        for (auto row = first; row != rows.end() && !row->empty(); ++row) {
            EXPECT_LE(row->size(), widest) << *row;
            note += (note.empty() ? "" : " ") + *row;
        }
        EXPECT_EQ("tq4800-flash: the PC is not held awake during the update (no system bus: No "
                  "such file or directory); the update runs on",
                  note)
            << screen;
        ExpectLiveLines({rows.begin(), first}, widest);
        EXPECT_TRUE(first[-1].starts_with(c.others)) << screen;
    }
}

} // namespace
