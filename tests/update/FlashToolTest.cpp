// tq4800-flash as a script on a production bench runs it: the built program on the
// simulated instrument, its exit codes, its log on standard output and its messages on
// standard error.

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Result {
    int exitCode = -1;
    std::string out;
    std::string err;
};

std::string ReadFile(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::stringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteFile(const std::string& path, const std::string& text) {
    std::ofstream(path, std::ios::binary) << text;
}

class FlashTool : public testing::Test {
protected:
    static void SetUpTestSuite() {
        char pattern[] = "/tmp/tq4800-flash-test-XXXXXX";
        ASSERT_NE(nullptr, mkdtemp(pattern));
        folder_ = pattern;
        demoFile_ = folder_ + "/demo.bin";
        const std::string build = std::string(TQ4800_IMAGE_PROGRAM) + " build --demo -o " +
                                  demoFile_ +
                                  " --model TQ4800 --image-rev 1.10 --utility-rev 1.0.0";
        ASSERT_EQ(0, std::system(build.c_str()));
    }
    static void TearDownTestSuite() { std::system(("rm -rf " + folder_).c_str()); }

    // A bench file of the simulated instrument, by name.
    static std::string Bench(const std::string& name, const std::string& text) {
        std::string path = folder_ + "/" + name + ".conf";
        WriteFile(path, text);
        return path;
    }

    // Runs tq4800-flash with the arguments on the bench, input from answer.
    static Result Run(const std::string& arguments, const std::string& bench = "",
                      const std::string& answer = "") {
        const std::string input = folder_ + "/input";
        const std::string err = folder_ + "/err";
        WriteFile(input, answer);
        std::string command = "TQ4800_VISA=sim TQ4800_SIM='" + bench + "' " + TQ4800_FLASH_PROGRAM +
                              " " + arguments + " <" + input + " 2>" + err;
        Result result;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr)
            return result;
        char buffer[4096];
        for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
            result.out.append(buffer, n);
        const int status = pclose(pipe);
        result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        result.err = ReadFile(err);
        return result;
    }

    static std::string folder_;
    static std::string demoFile_;
};

std::string FlashTool::folder_;
std::string FlashTool::demoFile_;

// The text for a single-quoted shell word.
std::string Escaped(const std::string& text) {
    std::string escaped;
    for (char c : text)
        escaped += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return escaped;
}

bool Contains(const std::string& text, const std::string& part) {
    return text.find(part) != std::string::npos;
}

const std::string LOADER_BENCH = "instrument TW00012345\nmode loader\n";

TEST_F(FlashTool, UpdatesTheDefaultBenchWithTheDemoFile) {
    Result result = Run("--yes " + demoFile_);
    EXPECT_EQ(0, result.exitCode) << result.err;
    EXPECT_TRUE(result.out.starts_with("Connect ... OK\nTo Writer ... OK\nConnect ... OK\n"
                                       "Testing ... OK\nCheck Revision ... OK\n-> Update 1C3\n"
                                       "    Loading ... OK\n    Check Sum "))
        << result.out;
    EXPECT_TRUE(result.out.ends_with("-> Update HTTP\n    Loading ... OK\n    Check Sum -1615699299"
                                     " ... OK\n    Write to flash ... OK\n"
                                     "--------------- Completed ---------------\n"))
        << result.out;
    EXPECT_FALSE(Contains(result.out, "\r"));
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345? yes (--yes)\n"
              "Firmware Update: Update is complete.\n",
              result.err);
}

TEST_F(FlashTool, AsksOnTheTerminalUnlessTold) {
    Result declined = Run(demoFile_, "", "n\n");
    EXPECT_EQ(2, declined.exitCode);
    EXPECT_EQ("Connect ... OK\n", declined.out);
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345? [y/N] n\n"
              "Update cancel.\nError number: 2\n",
              declined.err);

    Result noAnswer = Run(demoFile_);
    EXPECT_EQ(2, noAnswer.exitCode);

    const std::string failing = Bench("erase", LOADER_BENCH + "fault erase-ng segment=2\n");
    Result accepted = Run(demoFile_, failing, "YES\n");
    EXPECT_EQ(13, accepted.exitCode);
    EXPECT_TRUE(Contains(accepted.out, "-> Update 1C6DDS\n    Loading ... OK\n"));
    EXPECT_FALSE(Contains(accepted.out, "1C6POUT"));
    EXPECT_TRUE(accepted.err.ends_with("\nError number: 13\n")) << accepted.err;
}

TEST_F(FlashTool, ChoosesTheInstrumentByPrefix) {
    const std::string three = Bench("three", "instrument TW00011111\nmode loader\n"
                                             "instrument TW00067890\nmode loader\nfpga2 09\n"
                                             "instrument TW00012345\nmode loader\n");
    Result chosen = Run("-d usb0::0x1d7a::0x52c1::tw0006 --yes " + demoFile_, three);
    EXPECT_EQ(16, chosen.exitCode);
    EXPECT_TRUE(Contains(chosen.err, "3 instruments are Found. Are you sure you want to update "
                                     "TQ4800 SN:TW00067890?"))
        << chosen.err;
    EXPECT_TRUE(Contains(chosen.err, "There is a newer firmware revision run on current device.\n"
                                     "Error number: 16\n"));

    Result missing = Run("--device=USB0::0x1D7A::0x52C1::TW9 --yes " + demoFile_, three);
    EXPECT_EQ(69, missing.exitCode);
    EXPECT_EQ("", missing.out);
    EXPECT_TRUE(Contains(missing.err, "no instrument whose name begins with"));
    EXPECT_TRUE(Contains(missing.err, "USB0::0x1D7A::0x52C1::TW00067890::INSTR"));
}

TEST_F(FlashTool, ExitCodes) {
    const std::string empty = Bench("empty", "# nothing on the bus\n");
    const std::string tooNew = folder_ + "/too-new.bin";
    ASSERT_EQ(0, std::system((std::string(TQ4800_IMAGE_PROGRAM) + " build --demo -o " + tooNew +
                              " --model TQ4800 --image-rev 1.10 --utility-rev 9.0 2>/dev/null")
                                 .c_str()));
    const std::string garbage = folder_ + "/garbage.bin";
    WriteFile(garbage, "#ImageRev=1.10\n#ModelName=TQ4800\n#FileStart\nshort");
    const std::string longValue = folder_ + "/long-value.bin";
    WriteFile(longValue, "#ImageRev=" + std::string(40, '1') + "\n#FileStart\n");

    struct Case {
        const char* label;
        std::string arguments;
        std::string bench;
        int exitCode;
        const char* err;
    } cases[] = {
        {"no instrument", "--yes " + demoFile_, empty, 69, "No instrument found."},
        {"file missing", "--yes " + folder_ + "/absent.bin", "", 66, "absent.bin"},
        {"file corrupt", "--yes " + garbage, "", 19, "Error number: 19"},
        {"value too long", "--yes " + longValue, "", 20, "Error number: 20"},
        {"newer utility needed", "--yes " + tooNew, "", 21,
         "The utility is not compatible with this firmware revision file."},
        {"no file", "--yes", "", 64, "no firmware revision file"},
        {"two files", demoFile_ + " " + demoFile_, "", 64, "only one"},
        {"unknown option", "--force " + demoFile_, "", 64, "unknown option --force"},
        {"device without value", "--device", "", 64, "--device needs a value"},
        {"list with a file", "--list " + demoFile_, "", 64, "--list"},
        {"list empty bus", "--list", empty, 69, "No instrument found."},
    };
    for (const Case& c : cases) {
        Result result = Run(c.arguments, c.bench);
        EXPECT_EQ(c.exitCode, result.exitCode) << c.label << "\n" << result.err;
        EXPECT_TRUE(Contains(result.err, c.err)) << c.label << "\n" << result.err;
        EXPECT_EQ("", result.out) << c.label;
    }
}

TEST_F(FlashTool, HelpAndList) {
    Result help = Run("--help");
    EXPECT_EQ(0, help.exitCode);
    EXPECT_TRUE(help.out.starts_with("Usage: tq4800-flash [--device PREFIX] [--yes] FILE\n"));
    EXPECT_TRUE(Contains(help.out, "Exit status:"));

    Result list = Run("--list", Bench("two", "instrument TW00000002\ninstrument TW00000001\n"));
    EXPECT_EQ(0, list.exitCode);
    EXPECT_EQ("USB0::0x1D7A::0x52C1::TW00000001::INSTR\nUSB0::0x1D7A::0x52C1::TW00000002::INSTR\n",
              list.out);
}

// Piped, standard error carries plain lines: no progress bar, no terminal controls.
TEST_F(FlashTool, PipedOutputHasNoTerminalControls) {
    Result result = Run("--yes " + demoFile_, Bench("loader", LOADER_BENCH));
    EXPECT_EQ(0, result.exitCode);
    EXPECT_FALSE(Contains(result.err, "\033"));
    EXPECT_FALSE(Contains(result.out, "\033"));
}

// A reader that stops reading early does not stop the update.
TEST_F(FlashTool, UpdatesOnWhenTheLogReaderLeaves) {
    const std::string trace = folder_ + "/trace";
    const std::string command = "TQ4800_VISA=sim TQ4800_SIM='" + Bench("short", LOADER_BENCH) +
                                "' TQ4800_SIM_TRACE=" + trace + " " + TQ4800_FLASH_PROGRAM +
                                " --yes " + demoFile_ +
                                " 2>/dev/null | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}";
    EXPECT_EQ(0, std::system(("bash -c '" + Escaped(command) + "'").c_str()));
    // The fifth segment was programmed: CMD_PROGRAM went out five times.
    std::istringstream lines(ReadFile(trace));
    int programs = 0;
    for (std::string line; std::getline(lines, line);)
        programs += line.find(" AB0000000703") != std::string::npos ? 1 : 0;
    EXPECT_EQ(5, programs);
}

} // namespace
