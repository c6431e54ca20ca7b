// tq4800-flash on a real terminal: in a tmux pane of 80 columns, narrowed while the flash is
// written, or of fewer rows than a fleet has instruments; what the pane then shows, with its
// scrollback, is read from tmux.

#include "FlashProgram.h"
#include "status/StatusExplanations.h"

#include <chrono>
#include <filesystem>
#include <functional>
#include <gtest/gtest.h>
#include <regex>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

// The program in a detached tmux session of its own server (its socket in the test's folder),
// which wraps lines again when narrowed, as GNOME's terminal does. The pane stays after the
// program ends, which writes its exit code to a file. No tmux command may take over 10 s.
class TerminalRun {
public:
    TerminalRun(const std::string& folder, const std::vector<std::string>& arguments,
                const std::string& bench, int rows,
                const std::string& environment = "TQ4800_HISTORY=off")
        : folder_(folder), tmux_("timeout 10 tmux -f /dev/null -S " +
                                 ShellWord(folder + "/tmux" + std::to_string(++servers_))) {
        std::string command = "env TQ4800_VISA=sim DBUS_SYSTEM_BUS_ADDRESS=unix:path=/nonexistent "
                              "TQ4800_SIM=" +
                              ShellWord(bench) + " " + environment + " " +
                              ShellWord(TQ4800_FLASH_PROGRAM);
        for (const std::string& argument : arguments)
            command += " " + ShellWord(argument);
        std::filesystem::remove(folder + "/exit");
        command += "; echo $? >" + ShellWord(folder + "/exit") + "; exec sleep 600";
        Tmux("new-session -d -x 80 -y " + std::to_string(rows) + " " + ShellWord(command));
    }
    ~TerminalRun() { Tmux("kill-server"); }

    // Every row of the scrollback, then the pane's rows, without trailing blanks.
    std::vector<std::string> Rows() { return Lines(Tmux("capture-pane -p -S -").out); }

    // Waits until a row of the pane is as asked; false past the deadline.
    bool WaitFor(const std::function<bool(const std::string&)>& shown, Clock::time_point deadline) {
        for (; Clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(10)))
            for (const std::string& row : Rows())
                if (shown(row))
                    return true;
        return false;
    }

    void Resize(int columns) { Tmux("resize-window -x " + std::to_string(columns)); }

    // The program's exit code, -1 when it has not ended by the deadline.
    int Wait(Clock::time_point deadline) {
        for (; Clock::now() < deadline; std::this_thread::sleep_for(std::chrono::milliseconds(20)))
            if (const std::string code = ReadWholeFile(folder_ + "/exit"); !code.empty())
                return std::stoi(code);
        return -1;
    }

private:
    ProgramRun Tmux(const std::string& arguments) {
        return RunCommand(tmux_ + " " + arguments, folder_);
    }

    // A server of its own for each run: the one before may still be ending after kill-server.
    static inline int servers_ = 0;
    std::string folder_;
    std::string tmux_;
};

std::size_t RowsStartingWith(const std::vector<std::string>& rows, const std::string& text) {
    return static_cast<std::size_t>(std::count_if(
        rows.begin(), rows.end(), [&](const std::string& row) { return row.starts_with(text); }));
}

class FlashTerminal : public FlashProgramTest {};

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
TEST_F(FlashTerminal, FleetLinesFitTheTerminal) {
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
        TerminalRun run(Path(""), {"--all", "--yes", demoFile}, Write("bench.conf", Bytes(c.bench)),
                        c.rows);
        const auto deadline = Clock::now() + std::chrono::seconds(60);
        const std::size_t widest =
            static_cast<std::size_t>(c.narrowedTo > 0 ? c.narrowedTo : 80) - 1;
        ASSERT_TRUE(
            run.WaitFor([](const std::string& row) { return Contains(row, " / 5 "); }, deadline))
            << "no progress line";
        if (c.narrowedTo > 0) {
            run.Resize(c.narrowedTo);
            // A line cut to the new width shows the redraw after the resize.
            ASSERT_TRUE(run.WaitFor(
                [&](const std::string& row) { return row.ends_with("newer firmwar"); }, deadline))
                << "no redraw after the resize";
        }
        std::vector<std::string> rows = run.Rows();
        ExpectLiveLines({rows.end() - c.rows, rows.end()}, widest);
        EXPECT_EQ(c.exitCode, run.Wait(deadline));
        rows = run.Rows();
        const std::string screen = testing::PrintToString(rows);
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

// A single update's bar follows the log's unfinished line, cut to the room left on it: on the
// last row, one that wrapped would scroll the screen. Narrowed from 80 to 40 columns while a bar
// is shown, the terminal wraps it onto the next row; nothing of it may stay once the log goes on.
TEST_F(FlashTerminal, TheBarLeavesNothingBehindWhenNarrowed) {
    TerminalRun run(Path(""), {"--yes", demoFile},
                    Write("bench.conf", Bytes(Bench(10, 1, "flash-line-ms 100\n"))), 10);
    const auto deadline = Clock::now() + std::chrono::seconds(60);
    // After "Write to flash ... " the wrapped end of a bar is longer than the log's next line.
    ASSERT_TRUE(run.WaitFor(
        [](const std::string& row) { return row.starts_with("    Write to flash ... ["); },
        deadline));
    run.Resize(40);
    EXPECT_EQ(0, run.Wait(deadline));
    const std::vector<std::string> rows = run.Rows();
    EXPECT_EQ(1u, RowsStartingWith(rows, "Firmware Update: Update is complete."));
    for (const std::string& row : rows)
        EXPECT_EQ(std::string::npos, row.find_first_of("#%]")) << row;
}

// On a terminal, --history wraps a result within its column, under the ones before it; piped,
// each record is one line.
TEST_F(FlashTerminal, HistoryResultsWrapWithinTheirColumn) {
    const std::string bench = Write("bench.conf", Bytes(Bench(10, 1, "fpga2 09\n")));
    ASSERT_EQ(
        16,
        RunCommand(FlashCommand(bench, Path("history")) + " --yes " + demoFile, Path("")).exitCode);
    TerminalRun run(Path(""), {"--history"}, bench, 10,
                    "TQ4800_HISTORY=" + ShellWord(Path("history")));
    EXPECT_EQ(0, run.Wait(Clock::now() + std::chrono::seconds(30)));
    const std::vector<std::string> rows = run.Rows();
    ASSERT_LE(4u, rows.size());
    EXPECT_EQ("started (UTC)        serial      file rev  duration  code  result", rows[0]);
    EXPECT_TRUE(rows[1].ends_with("  TW00000010  1.10         0.0 s    16  the instrument runs"))
        << rows[1];
    EXPECT_EQ(std::string(59, ' ') + "newer firmware than", rows[2]);
    EXPECT_EQ(std::string(59, ' ') + "the file", rows[3]);
}

// Emacs's shell is a terminal that cannot move its cursor (TERM=dumb): there a fleet writes the
// log it writes into a pipe, a line for each step of each instrument.
TEST_F(FlashTerminal, ADumbTerminalGetsTheFleetsPlainLog) {
    TerminalRun run(Path(""), {"--all", "--yes", demoFile},
                    Write("bench.conf", Bytes(Bench(10, 2, ""))), 24,
                    "TERM=dumb TQ4800_HISTORY=off");
    EXPECT_EQ(0, run.Wait(Clock::now() + std::chrono::seconds(60)));
    const std::vector<std::string> rows = run.Rows();
    EXPECT_EQ(1u, RowsStartingWith(rows, "TW00000011: Testing ... OK"));
    EXPECT_EQ(1u, RowsStartingWith(rows, "TW00000010: --------------- Completed"));
}

} // namespace
