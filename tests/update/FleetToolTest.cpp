// tq4800-flash updating several simulated instruments at once, run as a program: which
// instruments it touches, that each one gets exactly the bytes and the log of a single
// update, that a faulty one fails alone, and its JSON lines.

#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"

#include <array>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <sstream>

namespace {

const std::string NAME_BEGIN = "USB0::0x1D7A::0x52C1::";
const std::array<std::string, 3> SERIALS = {"TW00011111", "TW00012345", "TW00067890"};
const std::string THREE_IN_LOADER = "instrument TW00011111\nmode loader\n"
                                    "instrument TW00012345\nmode loader\n"
                                    "instrument TW00067890\nmode loader\n";

// The transcript lines of the sessions opened to one instrument, with the sessions numbered
// from 1 in the order they were opened: a fleet's interleaving and its other instruments'
// sessions fall away, what went over this instrument's wire stays.
std::vector<std::string> WireOf(const std::string& transcript, const std::string& serial) {
    std::map<std::string, int> renumbered;
    std::vector<std::string> wire;
    for (const std::string& line : Lines(transcript)) {
        std::istringstream words(line);
        std::string what, session, rest;
        words >> what >> session;
        std::getline(words, rest);
        if (what == "open" && line.find(serial) != std::string::npos && session != "-")
            renumbered.emplace(session, static_cast<int>(renumbered.size()) + 1);
        if (auto own = renumbered.find(session); own != renumbered.end())
            wire.push_back(what + " " + std::to_string(own->second) + rest);
    }
    return wire;
}

// The log lines of one instrument in a piped fleet run, without their serial.
std::vector<std::string> LogOf(const std::string& out, const std::string& serial) {
    std::vector<std::string> log;
    for (const std::string& line : Lines(out))
        if (line.starts_with(serial + ": "))
            log.push_back(line.substr(serial.size() + 2));
    return log;
}

// Empty when both are equal, else where they first differ, with both lines shortened.
std::string FirstDifference(const std::vector<std::string>& expected,
                            const std::vector<std::string>& actual) {
    for (std::size_t i = 0; i < std::max(expected.size(), actual.size()); ++i) {
        const std::string want = i < expected.size() ? expected[i] : "(none)";
        const std::string got = i < actual.size() ? actual[i] : "(none)";
        if (want != got)
            return "line " + std::to_string(i + 1) + ": expected " + want.substr(0, 80) + ", got " +
                   got.substr(0, 80);
    }
    return "";
}

class FleetTool : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        const std::string build = ShellWord(TQ4800_IMAGE_PROGRAM) + " build --demo -o " +
                                  ShellWord(demoFile) +
                                  " --model TQ4800 --image-rev 1.10 --utility-rev 1.0.0";
        ASSERT_EQ(0, RunCommand(build, folder_.string()).exitCode);
    }
    // Runs tq4800-flash on the bench, with the wire transcript in the file "trace" and the
    // update history in "history".
    ProgramRun Run(const std::string& arguments, const std::string& bench,
                   const std::string& answer = "") {
        const std::string input = Write("input", Bytes(answer));
        return RunCommand("TQ4800_VISA=sim TQ4800_SIM=" + Write("bench.conf", Bytes(bench)) +
                              " TQ4800_SIM_TRACE=" + ShellWord(Path("trace")) +
                              " TQ4800_HISTORY=" + ShellWord(Path("history")) + " " +
                              TQ4800_FLASH_PROGRAM + " " + arguments + " <" + input,
                          folder_.string());
    }
    std::string Trace() const { return ReadWholeFile(Path("trace")); }

    const std::string demoFile = Path("demo.bin");
};

// Two of three instruments by prefix: exactly those two are touched, and each one's wire and
// log are those of a single update of it.
TEST_F(FleetTool, TwoDevicesGetExactlyASingleUpdateEach) {
    std::map<std::string, std::pair<std::vector<std::string>, std::vector<std::string>>> single;
    for (const std::string serial : {"TW00011111", "TW00067890"}) {
        const ProgramRun alone =
            Run("--yes -d " + NAME_BEGIN + serial + " " + demoFile, THREE_IN_LOADER);
        ASSERT_EQ(0, alone.exitCode) << alone.err;
        single[serial] = {WireOf(Trace(), serial), Lines(alone.out)};
    }

    const ProgramRun fleet = Run("--device usb0::0x1d7a::0x52c1::tw0001111 --device=" + NAME_BEGIN +
                                     "TW0006 " + demoFile,
                                 THREE_IN_LOADER, "y\n");
    ASSERT_EQ(0, fleet.exitCode) << fleet.err;
    EXPECT_EQ("Are you sure you want to update 2 TQ4800 instruments: SN:TW00011111, "
              "SN:TW00067890? [y/N] y\n"
              "tq4800-flash: the PC is not held awake during the update (no system bus: No such "
              "file or directory); the update runs on\n",
              fleet.err);
    const std::string trace = Trace();
    EXPECT_EQ(std::string::npos, trace.find("TW00012345"));
    for (const auto& [serial, alone] : single) {
        EXPECT_EQ("", FirstDifference(alone.first, WireOf(trace, serial))) << serial;
        EXPECT_EQ("", FirstDifference(alone.second, LogOf(fleet.out, serial))) << serial;
    }
    EXPECT_NE(std::string::npos,
              fleet.out.find("\n\nSerial      Result               Code      Time\n"
                             "TW00011111  Update is complete.     0 "))
        << fleet.out;
}

// A faulty instrument fails alone with its own code while the others complete; the exit
// code is that of the first failed instrument in the table, not of the first to fail.
TEST_F(FleetTool, AFaultyInstrumentFailsAlone) {
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
        const ProgramRun result = Run("--all --yes " + demoFile, bench);
        EXPECT_EQ(c.exitCode, result.exitCode) << bench << result.err;
        const std::vector<std::string> lines = Lines(result.out);
        ASSERT_GE(lines.size(), 3u) << bench;
        for (std::size_t i = 0; i < 3; ++i) {
            const std::string& row = lines[lines.size() - 3 + i];
            EXPECT_TRUE(row.starts_with(SERIALS[i] + "  ")) << row;
            EXPECT_NE(std::string::npos, row.find("  " + std::to_string(c.codes[i]) + "  ")) << row;
        }
        // One history record per instrument, each with its own result.
        const ProgramRun history = Run("--history --json --limit 3", bench);
        std::map<std::string, int> recorded;
        for (const std::string& line : Lines(history.out)) {
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

// Before anything is touched: a prefix that names no instrument or several, one instrument
// named twice, and an empty bus.
TEST_F(FleetTool, RefusesUnclearChoicesBeforeTouchingAny) {
    struct Case {
        std::string arguments;
        std::string bench;
        int code;
        const char* err;
    } cases[] = {
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW9", THREE_IN_LOADER, 69,
         "no instrument whose name begins with \"USB0::0x1D7A::0x52C1::TW9\""},
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW000", THREE_IN_LOADER, 64,
         "begins the names of several instruments"},
        {"-d " + NAME_BEGIN + "TW0001111 -d " + NAME_BEGIN + "tw00011111", THREE_IN_LOADER, 64,
         "is named by more than one --device"},
        {"--all -d " + NAME_BEGIN, THREE_IN_LOADER, 64, "--all and --device"},
        {"--all", "# nothing on the bus\n", 69, "No instrument found."},
        {"--json -d " + NAME_BEGIN + "TW9", THREE_IN_LOADER, 69, "no instrument whose name"},
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

// Every line is one JSON object; each instrument's log pieces add up to its single log,
// and the results and the summary agree with the exit code.
TEST_F(FleetTool, JsonLinesTellTheWholeRun) {
    const std::string bench = THREE_IN_LOADER + "fault erase-ng segment=3\n";
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
    EXPECT_EQ((nlohmann::json{{"event", "summary"}, {"completed", 2}, {"failed", 1}, {"exit", 13}}),
              (nlohmann::json{{"event", events.back()["event"]},
                              {"completed", events.back()["completed"]},
                              {"failed", events.back()["failed"]},
                              {"exit", events.back()["exit"]}}));

    std::map<std::string, std::string> logs;
    std::map<std::string, int> codes, lastPercent;
    for (const nlohmann::json& event : events) {
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
