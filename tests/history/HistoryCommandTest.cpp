// tq4800-flash --history as an operator or a script reads it, and a terminal update whose
// history cannot be written.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"

#include <nlohmann/json.hpp>

namespace {

class HistoryCommand : public HistoryTest {
protected:
    // Three runs, oldest first: TW00011111 completed, TW00012345 declined, then failed.
    void SetUp() override {
        HistoryTest::SetUp();
        UpdateHistory history = History(file);
        const std::pair<const char*, StatusCode> runs[] = {{"TW00011111", STATUS_COMPLETE},
                                                           {"TW00012345", STATUS_CANCELLED},
                                                           {"TW00012345", STATUS_PROGRAM_FAILED}};
        for (const auto& [serial, code] : runs) {
            const std::unique_ptr<UpdateJournal> journal =
                history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
            journal->RunStarted(std::string("USB0::0x1D7A::0x52C1::") + serial + "::INSTR");
            if (code == STATUS_COMPLETE)
                journal->SegmentDone(0, false);
            journal->RunEnded(code);
        }
    }

    ProgramRun Run(const std::string& arguments, const std::string& history) {
        return RunCommand("TQ4800_VISA=sim TQ4800_SIM= TQ4800_HISTORY=" + ShellWord(history) + " " +
                              TQ4800_FLASH_PROGRAM + " " + arguments + " </dev/null",
                          folder_.string());
    }
};

TEST_F(HistoryCommand, PrintsNewestFirst) {
    const std::string junk = Write("junk", std::vector<std::uint8_t>(4096, 'x'));
    struct Case {
        std::string arguments;
        std::string history;
        int exitCode;
        std::vector<std::string> results; // the result column, newest first
        const char* err = "";
    } cases[] = {
        {"--history", file, 0, {"Error number: 13", "Update cancel.", "Update is complete."}},
        {"--history --serial tw000123", file, 0, {"Error number: 13", "Update cancel."}},
        {"--limit 1 --history", file, 0, {"Error number: 13"}},
        {"--history", Path("never-written.sqlite3"), 0, {}},
        {"--history", junk, 74, {}, "file is not a database"},
        {"--history", "off", 74, {}, "the update history is off"},
        {"--history --limit 0", file, 64, {}, "--limit needs a whole number"},
        {"--history --yes", file, 64, {}, "not --yes"},
    };
    for (const Case& c : cases) {
        const ProgramRun result = Run(c.arguments, c.history);
        EXPECT_EQ(c.exitCode, result.exitCode) << c.arguments << "\n" << result.err;
        EXPECT_NE(std::string::npos, result.err.find(c.err)) << c.arguments << "\n" << result.err;
        if (c.exitCode != 0)
            continue;
        const std::vector<std::string> lines = Lines(result.out);
        ASSERT_EQ(c.results.size() + 1, lines.size()) << c.arguments << "\n" << result.out;
        EXPECT_TRUE(lines[0].starts_with("started (UTC)"));
        for (std::size_t row = 0; row < c.results.size(); ++row)
            EXPECT_TRUE(lines[row + 1].ends_with("  " + c.results[row])) << lines[row + 1];
    }
}

TEST_F(HistoryCommand, PrintsOneJsonObjectARecord) {
    const ProgramRun result = Run("--history --json --serial TW00011111", file);
    ASSERT_EQ(0, result.exitCode) << result.err;
    const std::vector<std::string> lines = Lines(result.out);
    ASSERT_EQ(1u, lines.size());
    const nlohmann::json record = nlohmann::json::parse(lines[0]);
    EXPECT_EQ("TW00011111", record["serial_number"]);
    EXPECT_EQ(0, record["status"]);
    EXPECT_EQ("Update is complete.", record["result"]);
    EXPECT_EQ(nlohmann::json::array({"FPGA1"}), record["segments_flashed"]);
    EXPECT_EQ(nlohmann::json::array(), record["segments_held"]);
}

// The update of a terminal goes on past a history it cannot use and says so once.
TEST_F(HistoryCommand, AnUpdateRunsOnPastABrokenHistory) {
    const std::string firmware = Write("firmware.bin", WriteImageFile(TestFirmware()));
    const std::string junk = Write("junk", std::vector<std::uint8_t>(4096, 'x'));
    const ProgramRun result = Run("--yes " + firmware, junk);
    EXPECT_EQ(0, result.exitCode) << result.err;
    const std::string note = "tq4800-flash: update history " + junk +
                             ": cannot be read: file is not a database; the update runs on "
                             "without it\n";
    const std::size_t at = result.err.find(note);
    EXPECT_NE(std::string::npos, at) << result.err;
    EXPECT_EQ(std::string::npos, result.err.find("update history", at + note.size())) << result.err;
}

} // namespace
