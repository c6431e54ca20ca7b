// tq4800-flash --history as an operator or a script reads it, and a terminal update whose
// history cannot be written.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"

#include <algorithm>
#include <nlohmann/json.hpp>
#include <sqlite3.h>

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

    // As an unprivileged user when asNobody: the tests run as root on CI, and root may read
    // and write everything.
    ProgramRun Run(const std::string& arguments, const std::string& history,
                   bool asNobody = false) {
        const std::string user =
            asNobody ? "setpriv --reuid=nobody --regid=nogroup --clear-groups " : "";
        return RunCommand("TQ4800_VISA=sim TQ4800_SIM= TQ4800_HISTORY=" + ShellWord(history) + " " +
                              user + TQ4800_FLASH_PROGRAM + " " + arguments + " </dev/null",
                          folder_.string());
    }
};

TEST_F(HistoryCommand, PrintsNewestFirst) {
    const std::string junk = Write("junk", std::vector<std::uint8_t>(4096, 'x'));
    const std::string empty = Write("empty", {});
    std::filesystem::create_symlink(Path("loop"), Path("loop"));
    std::filesystem::create_directories(Path("closed"));
    std::filesystem::copy_file(file, Path("closed/history.sqlite3"));
    std::filesystem::permissions(Path("closed"), std::filesystem::perms::owner_all);
    struct Case {
        std::string arguments;
        std::string history;
        int exitCode;
        std::vector<std::string> results; // the result column, newest first
        const char* err = "";
        bool asNobody = false;
        bool listed = true; // the table's heading is printed
    } cases[] = {
        {"--history",
         file,
         0,
         {"13  the loader answered ERASE NG or PROGRAM NG while writing the flash",
          "2  declined at the question; the instrument is unchanged", "0  completed"}},
        {"--history --serial tw000123", file, 0, {"13  the loader", "2  declined"}},
        {"--limit 1 --history", file, 0, {"13  the loader"}},
        {"--history", file, 0, {"13  the loader", "2  declined", "0  completed"}, "", true},
        {"--history", empty, 0, {}},
        {"--history", Path("never-written.sqlite3"), 0, {}, "no update history at ", false, false},
        {"--history", junk, 74, {}, "file is not a database"},
        {"--history", Path("loop"), 74, {}, "cannot be checked: Too many levels of symbolic links"},
        {"--history",
         Path("closed/history.sqlite3"),
         74,
         {},
         "cannot be checked: Permission denied",
         true},
        {"--history", "off", 74, {}, "the update history is off"},
        {"--history --limit 0", file, 64, {}, "--limit needs a whole number"},
        {"--history --yes", file, 64, {}, "not --yes"},
    };
    for (const Case& c : cases) {
        const ProgramRun result = Run(c.arguments, c.history, c.asNobody);
        const std::string label = c.arguments + " on " + c.history + "\n" + result.err;
        EXPECT_EQ(c.exitCode, result.exitCode) << label;
        EXPECT_NE(std::string::npos, result.err.find(c.err)) << label;
        if (c.exitCode != 0)
            continue;
        const std::vector<std::string> lines = Lines(result.out);
        ASSERT_EQ(c.results.size() + (c.listed ? 1 : 0), lines.size()) << label << result.out;
        if (c.listed) {
            EXPECT_TRUE(lines[0].starts_with("started (UTC)"));
        }
        for (std::size_t row = 0; row < c.results.size(); ++row)
            EXPECT_NE(std::string::npos, lines[row + 1].find("  " + c.results[row]))
                << lines[row + 1];
    }
}

// Every column of the file under its own name, whatever bytes the file's writers left.
TEST_F(HistoryCommand, PrintsRecordsOfAnyBytesWithTheFileColumnNames) {
    HistoryDatabase database;
    std::string error;
    ASSERT_TRUE(database.Open(file, HistoryDatabase::Access::Write, error)) << error;
    HistoryRecord odd;
    odd.startedUtc = "2999-01-01 00:00:00";
    odd.serialNumber = "TW\x1b]0;owned\x07\xff";
    odd.filePath = "/bench/\xc3\x28.bin";
    odd.fileRevision = "\x1b[2J";
    ASSERT_TRUE(database.Insert(odd, error)) << error;

    const ProgramRun json = Run("--history --json", file);
    ASSERT_EQ(0, json.exitCode) << json.err;
    const std::vector<std::string> lines = Lines(json.out);
    ASSERT_EQ(4u, lines.size());
    const nlohmann::json newest = nlohmann::json::parse(lines[0]);
    EXPECT_EQ("/bench/\xef\xbf\xbd(.bin", newest["file_path"]);
    EXPECT_EQ("TW\x1b]0;owned\x07\xef\xbf\xbd", newest["serial_number"]);
    std::vector<std::string> names;
    sqlite3* connection = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &connection));
    sqlite3_exec(
        connection, "SELECT name FROM pragma_table_info('updates')",
        [](void* list, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(list)->push_back(values[0]);
            return 0;
        },
        &names, nullptr);
    sqlite3_close(connection);
    names.push_back("explanation");
    std::vector<std::string> keys;
    for (const auto& [key, value] : newest.items())
        keys.push_back(key);
    std::sort(names.begin(), names.end());
    std::sort(keys.begin(), keys.end());
    EXPECT_EQ(names, keys);

    const nlohmann::json completed = nlohmann::json::parse(lines[3]);
    EXPECT_EQ("TW00011111", completed["serial_number"]);
    EXPECT_EQ(0, completed["status_code"]);
    EXPECT_EQ("Update is complete.", completed["status_text"]);
    EXPECT_EQ("completed", completed["explanation"]);
    EXPECT_EQ(nlohmann::json::array({"FPGA1"}), completed["segments_flashed"]);
    EXPECT_EQ(nlohmann::json::array(), completed["segments_held"]);

    const ProgramRun table = Run("--history --limit 1", file);
    ASSERT_EQ(0, table.exitCode) << table.err;
    EXPECT_EQ(std::string::npos, table.out.find('\x1b')) << table.out;
    EXPECT_NE(std::string::npos, table.out.find("TW\\x1B]0;owned\\x07\\xFF")) << table.out;
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
