// tq4800-flash as a script on a production bench runs it: the built program on the
// simulated instrument, its exit codes, its log on standard output and its messages on
// standard error.

#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"

#include <csignal>
#include <fcntl.h>
#include <gtest/gtest.h>
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
    // A bench file of the simulated instrument, by name.
    std::string Bench(const std::string& name, const std::string& text) {
        return Write(name + ".conf", Bytes(text));
    }
    // Runs tq4800-flash with the arguments on the bench, input from answer.
    ProgramRun Run(const std::string& arguments, const std::string& bench = "",
                   const std::string& answer = "") {
        const std::string input = Write("input", Bytes(answer));
        return RunCommand("TQ4800_VISA=sim TQ4800_SIM=" + ShellWord(bench) + " " +
                              TQ4800_FLASH_PROGRAM + " " + arguments + " <" + input,
                          folder_.string());
    }

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

    const std::string failing = Bench("erase", LOADER_BENCH + "fault erase-ng segment=2\n");
    ProgramRun accepted = Run(demoFile, failing, "YES\n");
    EXPECT_EQ(13, accepted.exitCode);
    EXPECT_TRUE(Contains(accepted.out, "-> Update 1C6DDS\n    Loading ... OK\n"));
    EXPECT_FALSE(Contains(accepted.out, "1C6POUT"));
    EXPECT_TRUE(accepted.err.ends_with("\nError number: 13\n")) << accepted.err;
}

TEST_F(FlashTool, ChoosesTheInstrumentByPrefix) {
    const std::string three = Bench("three", "instrument TW00011111\nmode loader\n"
                                             "instrument TW00067890\nmode loader\nfpga2 09\n"
                                             "instrument TW00012345\nmode loader\n");
    ProgramRun chosen = Run("--device=usb0::0x1d7a::0x52c1::tw0006 --yes " + demoFile, three);
    EXPECT_EQ(16, chosen.exitCode);
    EXPECT_TRUE(Contains(chosen.err, "3 instruments are Found. Are you sure you want to update "
                                     "TQ4800 SN:TW00067890?"))
        << chosen.err;
    EXPECT_TRUE(Contains(chosen.err, "There is a newer firmware revision run on current device.\n"
                                     "Error number: 16\n"));

    ProgramRun missing = Run("-d USB0::0x1D7A::0x52C1::TW9 --yes " + demoFile, three);
    EXPECT_EQ(69, missing.exitCode);
    EXPECT_TRUE(Contains(missing.err, "no instrument whose name begins with"));
    EXPECT_TRUE(Contains(missing.err, "USB0::0x1D7A::0x52C1::TW00067890::INSTR"));

    // Listed by the check of the prefix, gone at the update's own search: another instrument
    // is still on the bus, and nothing is touched.
    const std::string leaving = Bench("leaving", "instrument TW00012345\nleave-after-searches 1\n"
                                                 "instrument TW00067890\n");
    ProgramRun gone = Run("-d USB0::0x1D7A::0x52C1::TW00012 --yes " + demoFile, leaving);
    EXPECT_EQ(69, gone.exitCode);
    EXPECT_EQ("", gone.out);
    EXPECT_TRUE(Contains(gone.err, "no instrument whose name begins with")) << gone.err;
}

TEST_F(FlashTool, ExitCodes) {
    const std::string empty = Bench("empty", "# nothing on the bus\n");
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
        {"--force " + demoFile, "", 64, "unknown option --force"},
        {"--device", "", 64, "--device needs a value"},
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

TEST_F(FlashTool, HelpAndList) {
    ProgramRun help = Run("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(help.out.starts_with("Usage: tq4800-flash [--device PREFIX] [--yes] FILE\n"));
    EXPECT_TRUE(Contains(help.out, "Exit status:"));

    ProgramRun list = Run("--list");
    EXPECT_EQ(0, list.exitCode);
    EXPECT_EQ("USB0::0x1D7A::0x52C1::TW00012345::INSTR\n", list.out);
}

// A reader that stops reading early does not stop the update.
TEST_F(FlashTool, UpdatesOnWhenTheLogReaderLeaves) {
    const std::string trace = Path("trace");
    const std::string command = "TQ4800_VISA=sim TQ4800_SIM=" + Bench("short", LOADER_BENCH) +
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
    std::istringstream lines(ReadWholeFile(trace));
    int count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        const std::string kind = line.substr(0, line.find(' '));
        EXPECT_TRUE(kind == "open" || kind == "tmo" || kind == "write" || kind == "read" ||
                    kind == "close")
            << line;
    }
    EXPECT_GT(count, 100);
}

// Ctrl-C and Ctrl-\ while the flash is written: the update completes, and the note of the
// refusal stands on a line of its own between the log's lines.
TEST_F(FlashTool, RefusesInterruptAndQuitWhileFlashing) {
    const std::string bench = Bench("slow", LOADER_BENCH + "flash-line-ms 50\n");
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

} // namespace
