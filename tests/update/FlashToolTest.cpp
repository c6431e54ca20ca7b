// tq4800-flash as a script on a production bench runs it: the built program on the
// simulated instrument and on a bench of several, its exit codes, its log on standard output
// and its messages on standard error.

#include "FlashProgram.h"
#include "status/StatusExplanations.h"

#include <array>
#include <cmath>
#include <gtest/gtest.h>
#include <map>
#include <nlohmann/json.hpp>
#include <regex>
#include <set>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const std::string LOADER_BENCH = "instrument TW00012345\nmode loader\n";

class FlashTool : public FlashProgramTest {
protected:
    // The bench file of the simulated instrument.
    std::string Bench(const std::string& text) { return Write("bench.conf", Bytes(text)); }
    // Runs tq4800-flash with the arguments on the bench, input from answer, with the wire
    // transcript in the file "trace" and the update history in "history".
    ProgramRun Run(const std::string& arguments, const std::string& bench = "",
                   const std::string& answer = "") {
        const std::string input = Write("input", Bytes(answer));
        return RunCommand("TQ4800_SIM_TRACE=" + ShellWord(Path("trace")) + " " +
                              FlashCommand(bench, Path("history")) + " " + arguments + " <" + input,
                          folder_.string());
    }
    std::string Trace() const { return ReadWholeFile(Path("trace")); }
};

// Runs that reach the bus: the default bench updated, its log in plain lines (that it holds no
// carriage return nor terminal control is seen where a fleet's JSON log is compared with it) and
// the PC not held awake, as the tests' environment has no system bus; the question asked on the
// terminal unless told (declined, not answered, "YES" taken), with --json as a single update
// asks; the instrument chosen by a prefix, or by its serial number in another case bundled with
// another short option; one listed by the check of the prefix but gone at the update's own
// search, while another is still on the bus.
TEST_F(FlashTool, UpdatesAsksForAndChoosesTheInstrument) {
    const std::string three = Write("three.conf", Bytes("instrument TW00011111\nmode loader\n"
                                                        "instrument TW00067890\nmode loader\n"
                                                        "fpga2 09\ninstrument TW00012345\n"
                                                        "mode loader\n"));
    const std::string leaving = Write("leaving.conf", Bytes("instrument TW00012345\n"
                                                            "leave-after-searches 1\n"
                                                            "instrument TW00067890\n"));
    const std::string failing = Bench(LOADER_BENCH + "fault erase-ng segment=2\n");
    const std::string ask = "Are you sure you want to update TQ4800 SN:", log = "Connect ... OK\n";
    const std::string chosen = "3 instruments are Found. " + ask + "TW00067890?";
    const std::string newer = "newer firmware revision run on current device.\nError number: 16\n";
    const struct {
        std::string arguments, bench, answer;
        int exitCode;
        std::string out;         // the start of standard output; "": none
        std::string first, last; // of standard error; last "": first is the whole
    } cases[] = {
        {"--yes " + demoFile, "", "", 0, log + "To Writer ... OK\n" + log,
         ask + "TW00012345? yes (--yes)\ntq4800-flash: the PC is not held awake during the update "
               "(no system bus: No such file or directory); the update runs on\n"
               "Firmware Update: Update is complete.\n",
         ""},
        {demoFile, "", "n\n", 2, log,
         ask + "TW00012345? [y/N] n\nUpdate cancel.\nError number: 2\n", ""},
        {"--json " + demoFile, "", "", 2, "{\"event\":\"instruments\"",
         ask + "TW00012345? [y/N] \n", ""},
        {demoFile, failing, "YES\n", 13, log, ask + "TW00012345? [y/N] YES\n",
         "\nError number: 13\n"},
        {"--device=usb0::0x1d7a::0x52c1::tw0006 --yes " + demoFile, three, "", 16, log, chosen,
         newer},
        {"-ydtw00067890 " + demoFile, three, "", 16, log, chosen, newer},
        {"-d USB0::0x1D7A::0x52C1::TW00012 --yes " + demoFile, leaving, "", 69, "",
         "tq4800-flash: no instrument whose name begins with \"USB0::0x1D7A::0x52C1::TW00012345::"
         "INSTR\"; found:\n  USB0::0x1D7A::0x52C1::TW00067890::INSTR\n",
         ""},
    };
    for (const auto& c : cases) {
        const ProgramRun result = Run(c.arguments, c.bench, c.answer);
        SCOPED_TRACE(c.arguments + "\n" + result.err + result.out);
        EXPECT_EQ(c.exitCode, result.exitCode);
        EXPECT_TRUE(c.out.empty() ? result.out.empty() : result.out.starts_with(c.out));
        EXPECT_TRUE(c.exitCode != 0 ||
                    result.out.ends_with("Write to flash ... OK\n"
                                         "--------------- Completed ---------------\n"));
        EXPECT_TRUE(c.last.empty()
                        ? result.err == c.first
                        : result.err.starts_with(c.first) && result.err.ends_with(c.last));
    }
}

// Several instruments at once. That each one gets exactly the wire of a single update and a
// faulty one fails alone is FleetTest's; here the program's choice, question, log and codes.
const std::string NAME_BEGIN = "USB0::0x1D7A::0x52C1::";
const std::array<std::string, 3> SERIALS = {"TW00011111", "TW00012345", "TW00067890"};
const std::string THREE_IN_LOADER = "instrument TW00011111\nmode loader\n"
                                    "instrument TW00012345\nmode loader\n"
                                    "instrument TW00067890\nmode loader\n";

// Every failure before the update touches nothing: a wrong file, wrong arguments, an empty bus,
// and a DEVICE that names no instrument (those found are listed) or several, one instrument
// named twice (two of one serial number, or two DEVICE for one).
TEST_F(FlashTool, ExitCodes) {
    const std::string empty = Bench("# nothing on the bus\n"), yes = " --yes " + demoFile;
    const std::string three = Write("three.conf", Bytes(THREE_IN_LOADER));
    const std::string cloned =
        Write("cloned.conf", Bytes(THREE_IN_LOADER + "instrument TW00012345\n"));
    const std::string tooNew = Path("too-new.bin");
    ASSERT_EQ(0, MakeDemoFile(tooNew, "9.0"));
    const std::string garbage =
        Write("garbage.bin", Bytes("#ImageRev=1.10\n#ModelName=TQ4800\n#FileStart\nshort"));
    ImageContents otherModel = AcceptedContents();
    otherModel.header.modelName = "TQ\033[2J4800";
    const std::string escapes = Write("escapes.bin", WriteImageFile(otherModel));
    struct Case {
        std::string arguments;
        std::string bench;
        int exitCode;
        std::string err;
    } cases[] = {
        {"--yes " + demoFile, empty, 69, "Search Instrument: No instrument found.\n"},
        {"--all --yes " + demoFile, empty, 69, "No instrument found."},
        {"--yes " + Path("absent.bin"), "", 66, "absent.bin"},
        {"--yes /dev/zero", "", 66, "/dev/zero: Can't open file."},
        {"--yes " + escapes, "", 19, "TQ\\x1B[2J4800"},
        {"'' " + demoFile, "", 64, "an empty argument"},
        {"--yes " + demoFile, folder_.string(), 69, "is a folder"},
        {"--yes " + garbage, "", 19, "Error number: 19"},
        {"--yes " + tooNew, "", 21,
         "The utility is not compatible with this firmware revision file."},
        {"--yes", "", 64, "no firmware revision file"},
        {demoFile + " " + demoFile, "", 64, "only one"},
        {"--force " + demoFile, "", 64, "unrecognized option '--force'"},
        {"--device", "", 64, "option '--device' requires an argument"},
        {"--device= " + demoFile, "", 64, "--device needs a non-empty value"},
        {"--serial TW " + demoFile, "", 64, "go with --history"},
        {"--list " + demoFile, "", 64, "--list"},
        {"--list --yes", "", 64, "--list"},
        {"--list", empty, 69, "No instrument found."},
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW9" + yes, three, 69,
         "whose name begins with, \"USB0::0x1D7A::0x52C1::TW9\"; found:\n  " + NAME_BEGIN +
             "TW00011111::INSTR\n  " + NAME_BEGIN + "TW00012345::INSTR\n  " + NAME_BEGIN +
             "TW00067890::INSTR"},
        {"-d " + NAME_BEGIN + "TW00011111 -d " + NAME_BEGIN + "TW000" + yes, three, 64,
         "begins the names of several instruments"},
        {"-d " + NAME_BEGIN + "TW0001111 -d TW00067890 -d " + NAME_BEGIN + "tw00011111" + yes,
         three, 64, "stand twice in the list"},
        {"--all" + yes, cloned, 64, "stand twice in the list"},
        {"-d tw00012345 -d TW00011111" + yes, cloned, 64,
         "stand twice in the list (instruments with one serial number, or one instrument named "
         "twice); nothing was touched:\n  " +
             NAME_BEGIN + "TW00012345::INSTR"},
        {"--all -d " + NAME_BEGIN + yes, three, 64, "--all and --device"},
        {"--json -d " + NAME_BEGIN + "TW9" + yes, three, 69, "no instrument whose serial number"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove(Path("trace"));
        ProgramRun result = Run(c.arguments, c.bench);
        EXPECT_EQ(c.exitCode, result.exitCode) << c.arguments << "\n" << result.err;
        // A text that ends a line is the whole of standard error.
        EXPECT_TRUE(c.err.ends_with('\n') ? result.err == c.err : Contains(result.err, c.err))
            << c.arguments << "\n"
            << result.err;
        EXPECT_EQ("", result.out) << c.arguments;
        EXPECT_FALSE(Contains(Trace(), "open")) << c.arguments;
    }
}

// Standard output closed from the start, its reader gone early, or on a full disk: the update
// goes on to program the fifth segment (CMD_PROGRAM five times on the wire), and descriptor 1 is
// not handed to the wire transcript, which would then receive the log. Only the log lost to the
// disk is said, at the end.
TEST_F(FlashTool, UpdatesOnWithoutAReaderOfTheLog) {
    const std::string update = "TQ4800_SIM_TRACE=" + Path("trace") + " " +
                               FlashCommand(Bench(LOADER_BENCH)) + " --yes " + demoFile + " 2>" +
                               Path("err");
    const std::string lost = "tq4800-flash: standard output could not be written: the log is "
                             "incomplete\n";
    for (const std::string& command :
         {"exec >&-; " + update, update + " | head -c 1 >/dev/null; exit ${PIPESTATUS[0]}",
          update + " >/dev/full"}) {
        EXPECT_EQ(0, std::system(("bash -c " + ShellWord(command)).c_str())) << command;
        EXPECT_EQ(Contains(command, "full"), ReadWholeFile(Path("err")).ends_with(lost)) << command;
        EXPECT_EQ("5\n", RunCommand("grep -c ' AB0000000703' " + Path("trace"), Path("")).out)
            << command;
        EXPECT_FALSE(Contains(Trace(), "Connect ... OK")) << command;
    }
}

// What a command prints as its result (the list, the history, the help, a file's contents)
// and loses to a full disk ends it with 74 and a message.
TEST_F(FlashTool, ResultsLostToAFullDiskFailTheCommand) {
    ASSERT_EQ(0, Run("--yes " + demoFile).exitCode); // a record for the history
    const std::string flash = FlashCommand(Bench(LOADER_BENCH), Path("history"));
    for (const std::string& command : {flash + " --list", flash + " --history", flash + " --help",
                                       std::string(TQ4800_IMAGE_PROGRAM) + " show " + demoFile}) {
        const int status =
            std::system(("bash -c " + ShellWord(command + " >/dev/full 2>" + Path("err"))).c_str());
        EXPECT_EQ(74, WEXITSTATUS(status)) << command;
        EXPECT_TRUE(Contains(ReadWholeFile(Path("err")), ": standard output could not be written"))
            << command;
    }
}

// Each instrument named by its serial number: a faulty one fails with its own code, the others'
// logs are those of single updates; the exit code is that of the first failed instrument in the
// table, not of the first to fail; one history record per instrument.
TEST_F(FlashTool, FleetExitCodeAndHistoryPerInstrument) {
    const std::string bench = Bench("instrument TW00011111\nmode loader\nfault erase-ng segment=2\n"
                                    "instrument TW00012345\nmode loader\n"
                                    "instrument TW00067890\nmode loader\nfpga2 09\n");
    const std::array<int, 3> codes = {13, 0, 16};
    const ProgramRun single = Run("--yes -d " + SERIALS[1] + " " + demoFile, bench);
    const ProgramRun result =
        Run("-d tw00011111 -d TW00012345 -d TW00067890 --yes " + demoFile, bench);
    EXPECT_EQ(13, result.exitCode) << result.err;
    std::vector<std::string> log; // the second instrument's lines, without their serial
    for (const std::string& line : Lines(result.out))
        if (line.starts_with(SERIALS[1] + ": "))
            log.push_back(line.substr(SERIALS[1].size() + 2));
    EXPECT_EQ(Lines(single.out), log);
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
        EXPECT_TRUE(std::regex_match(
            rows[i],
            std::regex(SERIALS[i] + " +" + std::to_string(codes[i]) + " +[0-9]+\\.[0-9] s  .*")))
            << rows[i];
        EXPECT_TRUE(rows[i].ends_with(ExplainStatus(codes[i]))) << rows[i];
    }
    std::map<std::string, int> recorded;
    for (const std::string& line : Lines(Run("--history --json --limit 3").out)) {
        const nlohmann::json record = nlohmann::json::parse(line);
        recorded[record["serial_number"]] = record["status_code"];
    }
    EXPECT_EQ((std::map<std::string, int>{
                  {SERIALS[0], codes[0]}, {SERIALS[1], codes[1]}, {SERIALS[2], codes[2]}}),
              recorded)
        << result.err;
}

// The fields of each JSON event as the manual page lists them: a tagged paragraph per event
// whose text begins "Fields:" and names each field in bold.
std::map<std::string, std::set<std::string>> DocumentedEvents() {
    const std::string page = ReadWholeFile(TQ4800_FLASH_MANUAL);
    const std::regex paragraph(R"(\n\.TP\n\.B (\w+)\nFields:(.*))"), bold(R"(\\fB(\w+)\\fP)");
    std::map<std::string, std::set<std::string>> events;
    for (std::sregex_iterator it(page.begin(), page.end(), paragraph), end; it != end; ++it) {
        const std::string fields = (*it)[2];
        for (std::sregex_iterator field(fields.begin(), fields.end(), bold); field != end; ++field)
            events[(*it)[1]].insert((*field)[1]);
    }
    return events;
}

// A serial number is the instrument's to choose: escape sequences in it reach no terminal,
// neither in the list, nor in the question, the log's prefixes and the table of results (here
// of a fleet declined, whose explanation is wrapped to keep the table within 80 columns).
TEST_F(FlashTool, NothingRawFromTheBusReachesTheTerminal) {
    const std::string bench = Bench(THREE_IN_LOADER + "instrument TW\033]0;X\007\n");
    for (const std::string arguments : {"--list", "--yes -d x", "--all"}) {
        const ProgramRun result =
            Run(arguments + (arguments == "--list" ? "" : " " + demoFile), bench);
        EXPECT_EQ(std::string::npos, (result.out + result.err).find_first_of("\033\007"))
            << arguments;
        EXPECT_NE(std::string::npos, (result.out + result.err).find("TW\\x1B]0;X\\x07"))
            << arguments;
        for (const std::string& line : Lines(result.out))
            EXPECT_LE(line.size(), 80u) << line;
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
    // Four names and " and 8 more" fit 80 columns, five and " and 7 more" do not.
    EXPECT_TRUE(result.err.starts_with("Are you sure you want to update 12 TQ4800 instruments: "
                                       "SN:TW00000010, SN:TW00000011, SN:TW00000012, "
                                       "SN:TW00000013 and 8 more?"))
        << result.err;
    const nlohmann::json summary = nlohmann::json::parse(Lines(result.out).back());
    EXPECT_EQ(12, summary["declined"]);
    EXPECT_EQ(0, summary["failed"]);
}

// Every line is one JSON object; each instrument's log pieces add up to its single log, its
// progress names its segment and tells each percent once, also where the FPGA segments are
// slivers that move the bar by less than a percent a step, and the results and the summary agree
// with the exit code. One instrument leaves the bus after the fleet's search. Times are UTC, also
// where the local time is not.
TEST_F(FlashTool, FleetJsonLinesTellTheWholeRun) {
    const std::string sliver = Write("sliver.bin", std::vector<std::uint8_t>(16, 1));
    const std::string large = Write("large.bin", std::vector<std::uint8_t>(0x20000, 2));
    const std::string file = Path("large-main.bin");
    ASSERT_EQ(0, RunCommand(ShellWord(TQ4800_IMAGE_PROGRAM) + " build -o " + ShellWord(file) +
                                " --model TQ4800 --image-rev 1.10 --utility-rev 1.0.0 FPGA1=" +
                                sliver + ":02 FPGA2=" + sliver + ":03 FPGA3=" + sliver +
                                ":04 MAIN=" + large + ":1.10 HTTP=" + sliver + ":2.01",
                            folder_.string())
                     .exitCode);
    const std::string bench = Bench(THREE_IN_LOADER + "fault erase-ng segment=3\n" +
                                    "instrument TW00099999\nleave-after-searches 1\n");
    const ProgramRun single = Run("--yes -d " + NAME_BEGIN + "TW00011111 " + file, bench);
    // Now in UTC to the second, as an event's time begins: "2026-12-07T13:06:55".
    const auto utcSecond = [&] { return RunCommand("date -u +%FT%T", Path("")).out.substr(0, 19); };
    setenv("TZ", "XST-5:30", 1);
    const std::string start = utcSecond();
    const ProgramRun fleet = Run("--all --json --yes " + file, bench);
    const std::string end = utcSecond();
    unsetenv("TZ");
    ASSERT_EQ(13, fleet.exitCode) << fleet.err;

    std::vector<nlohmann::json> events;
    for (const std::string& line : Lines(fleet.out))
        ASSERT_NO_THROW(events.push_back(nlohmann::json::parse(line))) << line;
    ASSERT_GE(events.size(), 2u);
    EXPECT_EQ("instruments", events.front()["event"]);
    EXPECT_EQ(4u, events.front()["instruments"].size());
    EXPECT_EQ(
        (nlohmann::json{{"resource", NAME_BEGIN + "TW00067890::INSTR"}, {"serial", SERIALS[2]}}),
        events.front()["instruments"][2]);
    const nlohmann::json& summary = events.back();
    EXPECT_EQ("summary", summary["event"]);
    EXPECT_EQ((std::vector<int>{2, 0, 2, 13}),
              (std::vector<int>{summary["completed"], summary["declined"], summary["failed"],
                                summary["exit"]}));
    EXPECT_TRUE(
        std::regex_match(events.front()["run"].get<std::string>(), std::regex("[0-9a-f]{32}")));

    const std::map<std::string, std::set<std::string>> documented = DocumentedEvents();
    const std::regex utc(R"(\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{3}Z)");
    const std::array<std::string, 5> segments = {"FPGA1", "FPGA2", "FPGA3", "MAIN", "HTTP"};
    std::map<std::string, std::string> logs;
    std::map<std::string, int> codes, lastPercent;
    for (const nlohmann::json& event : events) {
        std::set<std::string> fields;
        for (const auto& [field, value] : event.items())
            fields.insert(field);
        EXPECT_EQ(documented.at(event["event"]), fields) << event;
        EXPECT_TRUE(std::regex_match(event["time"].get<std::string>(), utc)) << event;
        const std::string second = event["time"].get<std::string>().substr(0, start.size());
        EXPECT_TRUE(second >= start && second <= end) << event;
        EXPECT_EQ(events.front()["run"], event["run"]);
        if (event["event"] == "result") {
            const int code = event["code"];
            codes[event["serial"]] = code;
            EXPECT_EQ(code == 69 ? "the instrument was gone from the bus at its update's search"
                                 : ExplainStatus(code),
                      event["explanation"]);
            EXPECT_EQ(code == 0    ? "Update is complete."
                      : code == 69 ? "No instrument found."
                                   : "",
                      event["text"]);
            const double seconds = event["seconds"];
            EXPECT_DOUBLE_EQ(std::round(seconds * 10) / 10, seconds) << event;
        }
        if (event["event"] == "log")
            logs[event["serial"]] += event["text"].get<std::string>();
        if (event["event"] == "progress") {
            const int percent = event["percent"], step = event["step"];
            ASSERT_TRUE(step >= 1 && step <= 5 && event["of"] == 5) << event;
            EXPECT_EQ(segments[static_cast<std::size_t>(step - 1)], event["segment"]);
            const auto last = lastPercent.try_emplace(event["serial"], -1).first;
            EXPECT_GT(percent, last->second) << event;
            EXPECT_TRUE(last->second >= 0 || percent == 0) << "the sliver starts at 0 %" << event;
            last->second = percent;
        }
    }
    EXPECT_EQ((std::map<std::string, int>{
                  {"TW00011111", 0}, {"TW00012345", 0}, {"TW00067890", 13}, {"TW00099999", 69}}),
              codes);
    std::string unixLog = logs["TW00011111"];
    for (std::size_t at; (at = unixLog.find("\r\n")) != std::string::npos;)
        unixLog.erase(at, 1);
    EXPECT_EQ(single.out, unixLog + "\n");
    EXPECT_EQ(100, lastPercent["TW00011111"]);
    EXPECT_NE(std::string::npos, logs["TW00067890"].find("\r\nError number: 13"));
}

} // namespace
