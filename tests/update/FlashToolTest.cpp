// tq4800-flash as a script on a production bench runs it: the built program on the
// simulated instrument and on a bench of several, its exit codes, its log on standard output
// and its messages on standard error.

#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"
#include "status/StatusExplanations.h"

#include <array>
#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string LOADER_BENCH = "instrument TW00012345\nmode loader\n";

class FlashTool : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_EQ(0, MakeDemoFile(demoFile, "1.0.0"));
    }
    int MakeDemoFile(const std::string& path, const char* utilityRev) {
        return RunCommand(ShellWord(TQ4800_IMAGE_PROGRAM) + " build --demo -o " + ShellWord(path) +
                              " --model TQ4800 --image-rev 1.10 --utility-rev " + utilityRev,
                          folder_.string())
            .exitCode;
    }
    // The bench file of the simulated instrument.
    std::string Bench(const std::string& text) { return Write("bench.conf", Bytes(text)); }
    // Runs tq4800-flash with the arguments on the bench, input from answer, with the wire
    // transcript in the file "trace" and the update history in "history".
    ProgramRun Run(const std::string& arguments, const std::string& bench = "",
                   const std::string& answer = "") {
        const std::string input = Write("input", Bytes(answer));
        return RunCommand("TQ4800_VISA=sim TQ4800_SIM=" + ShellWord(bench) +
                              " TQ4800_SIM_TRACE=" + ShellWord(Path("trace")) +
                              " TQ4800_HISTORY=" + ShellWord(Path("history")) + " " +
                              TQ4800_FLASH_PROGRAM + " " + arguments + " <" + input,
                          folder_.string());
    }
    std::string Trace() const { return ReadWholeFile(Path("trace")); }

    const std::string demoFile = Path("demo.bin");
};

// Piped, the log is plain lines: no carriage returns, no progress bar, no terminal controls.
TEST_F(FlashTool, UpdatesTheDefaultBenchWithTheDemoFile) {
    ProgramRun result = Run("--yes " + demoFile);
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_TRUE(result.out.starts_with("Connect ... OK\nTo Writer ... OK\nConnect ... OK\n"
                                       "Testing ... OK\nCheck Revision ... OK\n-> Update 1C3\n"
                                       "    Loading ... OK\n    Check Sum "))
        << result.out;
    EXPECT_TRUE(result.out.ends_with("-> Update HTTP\n    Loading ... OK\n    Check Sum -1615699299"
                                     " ... OK\n    Write to flash ... OK\n"
                                     "--------------- Completed ---------------\n"))
        << result.out;
    EXPECT_FALSE(Contains(result.out, "\r") || Contains(result.out, "\033"));
    // The tests' environment has no system bus, so the PC cannot be held awake.
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345? yes (--yes)\n"
              "tq4800-flash: the PC is not held awake during the update (no system bus: No such "
              "file or directory); the update runs on\n"
              "Firmware Update: Update is complete.\n",
              result.err);
}

TEST_F(FlashTool, AsksOnTheTerminalUnlessTold) {
    ProgramRun declined = Run(demoFile, "", "n\n");
    EXPECT_EQ(2, declined.exitCode);
    EXPECT_EQ("Connect ... OK\n", declined.out);
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345? [y/N] n\n"
              "Update cancel.\nError number: 2\n",
              declined.err);
    EXPECT_EQ(2, Run(demoFile).exitCode); // no answer at all

    const std::string failing = Bench(LOADER_BENCH + "fault erase-ng segment=2\n");
    ProgramRun accepted = Run(demoFile, failing, "YES\n");
    EXPECT_EQ(13, accepted.exitCode);
    EXPECT_TRUE(accepted.err.ends_with("\nError number: 13\n")) << accepted.err;
}

TEST_F(FlashTool, ChoosesTheInstrumentByPrefix) {
    const std::string three = Bench("instrument TW00011111\nmode loader\n"
                                    "instrument TW00067890\nmode loader\nfpga2 09\n"
                                    "instrument TW00012345\nmode loader\n");
    // A prefix, a serial number in another case, and short options bundled with the value
    // attached or following.
    for (const std::string choice :
         {"--device=usb0::0x1d7a::0x52c1::tw0006 --yes", "-yd tw00067890", "-ydTW00067890"}) {
        ProgramRun chosen = Run(choice + " " + demoFile, three);
        EXPECT_EQ(16, chosen.exitCode) << choice;
        EXPECT_TRUE(Contains(chosen.err, "3 instruments are Found. Are you sure you want to "
                                         "update TQ4800 SN:TW00067890?"))
            << chosen.err;
        EXPECT_TRUE(Contains(chosen.err, "There is a newer firmware revision run on current "
                                         "device.\nError number: 16\n"));
    }

    // Listed by the check of the prefix, gone at the update's own search: another instrument
    // is still on the bus, and nothing is touched.
    const std::string leaving = Bench("instrument TW00012345\nleave-after-searches 1\n"
                                      "instrument TW00067890\n");
    ProgramRun gone = Run("-d USB0::0x1D7A::0x52C1::TW00012 --yes " + demoFile, leaving);
    EXPECT_EQ(69, gone.exitCode);
    EXPECT_EQ("", gone.out);
    EXPECT_TRUE(Contains(gone.err, "no instrument whose name begins with")) << gone.err;
}

TEST_F(FlashTool, ExitCodes) {
    const std::string empty = Bench("# nothing on the bus\n");
    const std::string tooNew = Path("too-new.bin");
    ASSERT_EQ(0, MakeDemoFile(tooNew, "9.0"));
    const std::string garbage =
        Write("garbage.bin", Bytes("#ImageRev=1.10\n#ModelName=TQ4800\n#FileStart\nshort"));
    const std::string longValue =
        Write("long-value.bin", Bytes("#ImageRev=" + std::string(40, '1') + "\n#FileStart\n"));
    ImageContents otherModel = AcceptedContents();
    otherModel.header.modelName = "TQ\033[2J4800";
    const std::string escapes = Write("escapes.bin", WriteImageFile(otherModel));
    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    struct Case {
        std::string arguments;
        std::string bench;
        int exitCode;
        const char* err;
    } cases[] = {
        {"--yes " + demoFile, empty, 69, "No instrument found."},
        {"--all --yes " + demoFile, empty, 69, "No instrument found."},
        {"--yes " + Path("absent.bin"), "", 66, "absent.bin"},
        {"--yes /dev/zero", "", 66, "/dev/zero: Can't open file."},
        {"--yes " + Path("fifo"), "", 66, "fifo: Can't open file."},
        {"--yes " + folder_.string(), "", 66, "Can't open file."},
        {"--yes " + escapes, "", 19, "TQ\\x1B[2J4800"},
        {"'' " + demoFile, "", 64, "an empty argument"},
        {"--yes " + demoFile, folder_.string(), 69, "is a folder"},
        {"--yes " + garbage, "", 19, "Error number: 19"},
        {"--yes " + longValue, "", 20, "Error number: 20"},
        {"--yes " + tooNew, "", 21,
         "The utility is not compatible with this firmware revision file."},
        {"--yes", "", 64, "no firmware revision file"},
        {demoFile + " " + demoFile, "", 64, "only one"},
        {"--force " + demoFile, "", 64, "unrecognized option '--force'"},
        {"--device", "", 64, "option '--device' requires an argument"},
        {"-yd", "", 64, "option requires an argument -- 'd'"},
        {"--device= " + demoFile, "", 64, "--device needs a non-empty value"},
        {"--serial TW " + demoFile, "", 64, "go with --history"},
        {"--list " + demoFile, "", 64, "--list"},
        {"--list", empty, 69, "No instrument found."},
    };
    for (const Case& c : cases) {
        ProgramRun result = Run(c.arguments, c.bench);
        EXPECT_EQ(c.exitCode, result.exitCode) << c.arguments << "\n" << result.err;
        EXPECT_TRUE(Contains(result.err, c.err)) << c.arguments << "\n" << result.err;
        EXPECT_FALSE(Contains(result.err, "\033")) << c.arguments;
        EXPECT_EQ("", result.out) << c.arguments;
    }
}

TEST_F(FlashTool, HelpAndVersion) {
    ProgramRun help = Run("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(help.out.starts_with("Usage: tq4800-flash [-d DEVICE] [-y] [--json] FILE\n"));
    EXPECT_TRUE(Contains(help.out, "Exit status:"));
    EXPECT_EQ("tq4800-flash 1.0.0\n", Run("--version").out);
}

// A reader that stops reading early does not stop the update.
TEST_F(FlashTool, UpdatesOnWhenTheLogReaderLeaves) {
    const std::string trace = Path("trace");
    const std::string command = "TQ4800_VISA=sim TQ4800_SIM=" + Bench(LOADER_BENCH) +
                                " TQ4800_SIM_TRACE=" + trace + " " + TQ4800_FLASH_PROGRAM +
                                " --yes " + demoFile +
                                " 2>/dev/null | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}";
    EXPECT_EQ(0, std::system(("bash -c " + ShellWord(command)).c_str()));
    // The fifth segment was programmed: CMD_PROGRAM went out five times.
    std::istringstream lines(ReadWholeFile(trace));
    int programs = 0;
    for (std::string line; std::getline(lines, line);)
        programs += Contains(line, " AB0000000703") ? 1 : 0;
    EXPECT_EQ(5, programs);
}

// Started with standard output closed, the program must not hand descriptor 1 to the wire
// transcript, which would then receive the log.
TEST_F(FlashTool, ClosedStandardOutputLeavesTheTranscriptClean) {
    const std::string trace = Path("trace");
    ProgramRun result = RunCommand("(exec >&-; TQ4800_VISA=sim TQ4800_SIM_TRACE=" + trace + " " +
                                       TQ4800_FLASH_PROGRAM + " --yes " + demoFile + ")",
                                   folder_.string());
    EXPECT_EQ(0, result.exitCode) << result.err;
    const std::string transcript = ReadWholeFile(trace);
    EXPECT_FALSE(Contains(transcript, "Connect ... OK")) << "the log went to the transcript";
    EXPECT_GT(Lines(transcript).size(), 100u);
}

// Ctrl-C and Ctrl-\ while the flash is written: the update completes, and the note of the
// refusal stands on a line of its own between the log's lines.
TEST_F(FlashTool, RefusesInterruptAndQuitWhileFlashing) {
    const std::string bench = Bench(LOADER_BENCH + "flash-line-ms 50\n");
    const std::string output = Path("output");
    const pid_t child = fork();
    if (child == 0) {
        std::signal(SIGINT, SIG_DFL);
        std::signal(SIGQUIT, SIG_DFL);
        setenv("TQ4800_VISA", "sim", 1);
        setenv("TQ4800_SIM", bench.c_str(), 1);
        const int file = open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_APPEND, 0600);
        dup2(file, STDOUT_FILENO);
        dup2(file, STDERR_FILENO);
        execl(TQ4800_FLASH_PROGRAM, TQ4800_FLASH_PROGRAM, "--yes", demoFile.c_str(), nullptr);
        _exit(127);
    }
    ASSERT_GT(child, 0);
    int status = 0;
    while (!Contains(ReadWholeFile(output), "-> Update 1C3") &&
           waitpid(child, &status, WNOHANG) == 0)
        usleep(10000);
    kill(child, SIGQUIT);
    kill(child, SIGINT);
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFEXITED(status)) << "ended by signal " << WTERMSIG(status);
    EXPECT_EQ(0, WEXITSTATUS(status));
    const std::string text = ReadWholeFile(output);
    EXPECT_TRUE(Contains(text, "\ntq4800-flash: the instrument's flash is being written; the "
                               "update goes on.\n"))
        << text;
    std::istringstream lines(text);
    int loaded = 0;
    for (std::string line; std::getline(lines, line);) {
        loaded += line == "    Loading ... OK" ? 1 : 0;
        EXPECT_TRUE(line.find("tq4800-flash") == std::string::npos ||
                    line.starts_with("tq4800-flash"))
            << line;
    }
    EXPECT_EQ(5, loaded) << text;
}

// Several instruments at once. That each one gets exactly the wire of a single update and a
// faulty one fails alone is FleetTest's; here the program's choice, question, log and codes.
const std::string NAME_BEGIN = "USB0::0x1D7A::0x52C1::";
const std::array<std::string, 3> SERIALS = {"TW00011111", "TW00012345", "TW00067890"};
const std::string THREE_IN_LOADER = "instrument TW00011111\nmode loader\n"
                                    "instrument TW00012345\nmode loader\n"
                                    "instrument TW00067890\nmode loader\n";

// The log lines of one instrument in a piped fleet run, without their serial.
std::vector<std::string> LogOf(const std::string& out, const std::string& serial) {
    std::vector<std::string> log;
    for (const std::string& line : Lines(out))
        if (line.starts_with(serial + ": "))
            log.push_back(line.substr(serial.size() + 2));
    return log;
}

// Two of three instruments by prefix: exactly those two are touched, after one question, and
// each one's log is that of a single update of it.
TEST_F(FlashTool, FleetUpdatesExactlyTheNamedInstruments) {
    const std::string bench = Bench(THREE_IN_LOADER);
    std::map<std::string, std::vector<std::string>> single;
    for (const std::string serial : {"TW00011111", "TW00067890"})
        single[serial] = Lines(Run("--yes -d " + NAME_BEGIN + serial + " " + demoFile, bench).out);

    const ProgramRun fleet = Run("--device usb0::0x1d7a::0x52c1::tw0001111 --device=" + NAME_BEGIN +
                                     "TW0006 " + demoFile,
                                 bench, "y\n");
    ASSERT_EQ(0, fleet.exitCode) << fleet.err;
    EXPECT_EQ("Are you sure you want to update 2 TQ4800 instruments: SN:TW00011111, "
              "SN:TW00067890? [y/N] y\n"
              "tq4800-flash: the PC is not held awake during the update (no system bus: No such "
              "file or directory); the update runs on\n",
              fleet.err);
    EXPECT_EQ(std::string::npos, Trace().find("TW00012345"));
    for (const auto& [serial, alone] : single)
        EXPECT_EQ(alone, LogOf(fleet.out, serial)) << serial;
}

// A faulty instrument fails with its own code; the exit code is that of the first failed
// instrument in the table, not of the first to fail; one history record per instrument.
TEST_F(FlashTool, FleetExitCodeAndHistoryPerInstrument) {
    struct Case {
        std::array<const char*, 3> faults; // lines for TW00011111, TW00012345, TW00067890
        std::array<int, 3> codes;
        int exitCode;
    } cases[] = {
        {{"", "fault erase-ng segment=2\n", ""}, {0, 13, 0}, 13},
        {{"fault erase-ng segment=2\n", "", "fpga2 09\n"}, {13, 0, 16}, 13},
    };
    for (const Case& c : cases) {
        std::string bench;
        for (std::size_t i = 0; i < 3; ++i)
            bench += "instrument " + SERIALS[i] + "\nmode loader\n" + c.faults[i];
        const ProgramRun result = Run("--all --yes " + demoFile, Bench(bench));
        EXPECT_EQ(c.exitCode, result.exitCode) << bench << result.err;
        // The table fits 80 columns, its explanations wrapped within their column.
        const std::string table = result.out.substr(result.out.find("\nSerial  "));
        std::vector<std::string> rows;
        for (const std::string& line : Lines(table)) {
            EXPECT_LE(line.size(), 80u) << line;
            if (line.starts_with(" ") && !rows.empty())
                rows.back() += line.substr(line.find_first_not_of(' ') - 1);
            else if (line.starts_with("TW"))
                rows.push_back(line);
        }
        ASSERT_EQ(3u, rows.size()) << table;
        for (std::size_t i = 0; i < 3; ++i) {
            EXPECT_TRUE(rows[i].starts_with(SERIALS[i] + "  ")) << rows[i];
            EXPECT_EQ(c.codes[i], std::stoi(rows[i].substr(10, 6))) << rows[i];
            EXPECT_TRUE(rows[i].ends_with(ExplainStatus(c.codes[i]))) << rows[i];
        }
        std::map<std::string, int> recorded;
        for (const std::string& line : Lines(Run("--history --json --limit 3").out)) {
            const nlohmann::json record = nlohmann::json::parse(line);
            recorded[record["serial_number"]] = record["status"];
        }
        EXPECT_EQ((std::map<std::string, int>{{SERIALS[0], c.codes[0]},
                                              {SERIALS[1], c.codes[1]},
                                              {SERIALS[2], c.codes[2]}}),
                  recorded)
            << result.err;
    }
}

// Before anything is touched: a prefix that names no instrument (the ones there are listed)
// or several, one instrument named twice, and an empty bus.
TEST_F(FlashTool, FleetRefusesUnclearChoicesBeforeTouchingAny) {
    const std::string three = Bench(THREE_IN_LOADER);
    const std::string cloned =
        Write("cloned.conf", Bytes(THREE_IN_LOADER + "instrument TW00012345\n"));
    struct Case {
        std::string arguments;
        std::string bench;
        int code;
        const char* err;
    } cases[] = {
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW9", three, 69,
         "whose name begins with, \"USB0::0x1D7A::0x52C1::TW9\""},
        {"-d " + NAME_BEGIN + "TW9", three, 69, "USB0::0x1D7A::0x52C1::TW00067890::INSTR"},
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW000", three, 64,
         "begins the names of several instruments"},
        {"-d " + NAME_BEGIN + "TW000", three, 64, "begins the names of several instruments"},
        {"-d " + NAME_BEGIN + "TW0001111 -d " + NAME_BEGIN + "tw00011111", three, 64,
         "stand twice in the list"},
        {"-d TW00011111 -d " + NAME_BEGIN + "TW00011111::INSTR", three, 64,
         "stand twice in the list"},
        {"--all", cloned, 64, "twice in the list (instruments with one serial number"},
        {"-d tw00012345 -d TW00011111", cloned, 64, NAME_BEGIN.c_str()},
        {"-d TW00012345", cloned, 64, "stand twice in the list"},
        {"--all -d " + NAME_BEGIN, three, 64, "--all and --device"},
        {"--json -d " + NAME_BEGIN + "TW9", three, 69, "no instrument whose serial number"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(Path("trace"));
        const ProgramRun result = Run(c.arguments + " --yes " + demoFile, c.bench);
        EXPECT_EQ(c.code, result.exitCode) << c.arguments;
        EXPECT_NE(std::string::npos, result.err.find(c.err)) << c.arguments << "\n" << result.err;
        EXPECT_EQ("", result.out) << c.arguments;
        EXPECT_EQ(std::string::npos, Trace().find("open")) << c.arguments;
    }
}

// The fields of each JSON event as the manual page lists them: a tagged paragraph per event
// whose text begins "Fields:" and names each field in bold.
std::map<std::string, std::set<std::string>> DocumentedEvents() {
    const std::string page = ReadWholeFile(TQ4800_FLASH_MANUAL);
    const std::size_t begin = page.find(".SH JSON EVENTS");
    const std::string section = page.substr(begin, page.find("\n.SH ", begin + 1) - begin);
    std::map<std::string, std::set<std::string>> events;
    const std::vector<std::string> lines = Lines(section);
    const std::regex bold(R"(\\fB(\w+)\\fP)");
    for (std::size_t i = 2; i < lines.size(); ++i) {
        if (lines[i - 2] != ".TP" || !lines[i - 1].starts_with(".B ") ||
            !lines[i].starts_with("Fields:"))
            continue;
        std::set<std::string>& fields = events[lines[i - 1].substr(3)];
        for (std::sregex_iterator it(lines[i].begin(), lines[i].end(), bold), end; it != end; ++it)
            fields.insert((*it)[1]);
    }
    EXPECT_EQ(5u, events.size()) << section;
    return events;
}

// A serial number is the instrument's to choose: escape sequences in it reach no terminal,
// neither in the list, nor in the question, the log's prefixes and the table of results.
TEST_F(FlashTool, NothingRawFromTheBusReachesTheTerminal) {
    const std::string bench = Bench(THREE_IN_LOADER + "instrument TW\033]0;X\007\n");
    for (const std::string arguments : {"--list", "--yes -d x", "--all --yes"}) {
        const ProgramRun result =
            Run(arguments + (arguments == "--list" ? "" : " " + demoFile), bench);
        EXPECT_EQ(std::string::npos, (result.out + result.err).find_first_of("\033\007"))
            << arguments;
        EXPECT_NE(std::string::npos, (result.out + result.err).find("TW\\x1B]0;X\\x07"))
            << arguments;
    }
}

// The question for a large fleet names at most a line's worth of instruments and counts the
// rest; declined, every instrument counts as declined, none as failed.
TEST_F(FlashTool, QuestionOfALargeFleetStaysOneLineAndItsDeclineIsNoFailure) {
    std::string twelve;
    for (int i = 10; i < 22; ++i)
        twelve += "instrument TW000000" + std::to_string(i) + "\n";
    const ProgramRun result = Run("--all --json " + demoFile, Bench(twelve), "n\n");
    EXPECT_EQ(2, result.exitCode);
    const std::string prefix = "Are you sure you want to update 12 TQ4800 instruments: ";
    ASSERT_TRUE(result.err.starts_with(prefix)) << result.err;
    const std::string names =
        result.err.substr(prefix.size(), result.err.find('?') - prefix.size());
    EXPECT_TRUE(names.starts_with("SN:TW00000010, SN:TW00000011, ")) << names;
    EXPECT_TRUE(std::regex_match(names, std::regex(".* and [0-9]+ more"))) << names;
    EXPECT_LE(names.size(), 80u);
    const nlohmann::json summary = nlohmann::json::parse(Lines(result.out).back());
    EXPECT_EQ(12, summary["declined"]);
    EXPECT_EQ(0, summary["failed"]);
}

// Every line is one JSON object; each instrument's log pieces add up to its single log,
// and the results and the summary agree with the exit code.
TEST_F(FlashTool, FleetJsonLinesTellTheWholeRun) {
    const std::string bench = Bench(THREE_IN_LOADER + "fault erase-ng segment=3\n");
    const ProgramRun single = Run("--yes -d " + NAME_BEGIN + "TW00011111 " + demoFile, bench);
    const ProgramRun fleet = Run("--all --json --yes " + demoFile, bench);
    ASSERT_EQ(13, fleet.exitCode) << fleet.err;

    std::vector<nlohmann::json> events;
    for (const std::string& line : Lines(fleet.out))
        ASSERT_NO_THROW(events.push_back(nlohmann::json::parse(line))) << line;
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ("instruments", events.front()["event"]);
    EXPECT_EQ(3u, events.front()["instruments"].size());
    EXPECT_EQ(NAME_BEGIN + "TW00067890::INSTR", events.front()["instruments"][2]["resource"]);
    EXPECT_EQ(
        (nlohmann::json{
            {"event", "summary"}, {"completed", 2}, {"declined", 0}, {"failed", 1}, {"exit", 13}}),
        (nlohmann::json{{"event", events.back()["event"]},
                        {"completed", events.back()["completed"]},
                        {"declined", events.back()["declined"]},
                        {"failed", events.back()["failed"]},
                        {"exit", events.back()["exit"]}}));
    EXPECT_TRUE(
        std::regex_match(events.front()["run"].get<std::string>(), std::regex("[0-9a-f]{32}")));

    const std::map<std::string, std::set<std::string>> documented = DocumentedEvents();
    const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    std::map<std::string, std::string> logs;
    std::map<std::string, int> codes, lastPercent;
    for (const nlohmann::json& event : events) {
        std::set<std::string> fields;
        for (const auto& [field, value] : event.items())
            fields.insert(field);
        EXPECT_EQ(documented.at(event["event"]), fields) << event;
        EXPECT_TRUE(std::regex_match(event["time"].get<std::string>(), utc)) << event;
        EXPECT_EQ(events.front()["run"], event["run"]);
        if (event["event"] == "result") {
            EXPECT_EQ(ExplainStatus(event["code"]), event["explanation"]) << event;
        }
        if (event["event"] == "log")
            logs[event["serial"]] += event["text"].get<std::string>();
        if (event["event"] == "result")
            codes[event["serial"]] = event["code"];
        if (event["event"] == "progress") {
            EXPECT_GT(event["percent"].get<int>(), lastPercent[event["serial"]]);
            lastPercent[event["serial"]] = event["percent"];
        }
    }
    EXPECT_EQ(
        (std::map<std::string, int>{{"TW00011111", 0}, {"TW00012345", 0}, {"TW00067890", 13}}),
        codes);
    std::string unixLog = logs["TW00011111"];
    for (std::size_t at; (at = unixLog.find("\r\n")) != std::string::npos;)
        unixLog.erase(at, 1);
    EXPECT_EQ(single.out, unixLog + "\n");
    EXPECT_EQ(100, lastPercent["TW00011111"]);
    EXPECT_NE(std::string::npos, logs["TW00067890"].find("\r\nError number: 13"));
}

} // namespace
