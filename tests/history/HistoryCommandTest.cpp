// tq4800-flash --history as an operator or a script reads it.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"

#include <nlohmann/json.hpp>
#include <set>

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
            const std::unique_ptr<UpdateJournal> journal = StartRun(history, serial);
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
    std::filesystem::copy_file(file, Path("closed/h.sqlite3"));
    std::filesystem::permissions(Path("closed"), std::filesystem::perms::owner_all);
    // A file of the first release that nobody may upgrade, at a path that URIs escape.
    const std::string schema1 = Path("first release ?#%.sqlite3");
    std::filesystem::copy_file(TQ4800_SCHEMA_1_FILE, schema1);
    struct Case {
        std::string arguments;
        std::string history;
        int exitCode;
        const char* results; // in the result column, newest first, one a line; nullptr: no table
        const char* err = "";
        bool asNobody = false;
    } cases[] = {
        {"--history", file, 0,
         "0.0 s    13  the loader answered ERASE NG\n2  declined at the\n0  completed"},
        {"--history --serial tw000123", file, 0, "13  the loader\n2  declined"},
        {"--history --serial TW0001_", file, 0, ""},
        {"--limit 1 --history", file, 0, "13  the loader"},
        {"--history", schema1, 0, "\n0.0 s     2\n3.2 s    13\n4.9 s     0\n0.1 s    16", "", true},
        {"--history", empty, 0, ""},
        {"--history", Path("never-written.sqlite3"), 0, nullptr, "no update history at "},
        {"--history", junk, 74, nullptr, "file is not a database"},
        {"--history", Path("loop"), 74, nullptr, "cannot be checked: Too many levels of symbolic"},
        {"--history", Path("closed/h.sqlite3"), 74, nullptr, "cannot be checked: Permission", true},
        {"--history", "off", 74, nullptr, "the update history is off"},
        {"--history --limit 0", file, 64, nullptr, "--limit needs a whole number"},
        {"--history --limit 2x", file, 64, nullptr, "--limit needs a whole number"},
        {"--history --serial", file, 64, nullptr, "option --serial needs a value"},
        {"--history --yes", file, 64, nullptr, "not --yes"},
    };
    for (const Case& c : cases) {
        const ProgramRun result = Run(c.arguments, c.history, c.asNobody);
        const std::string label = c.arguments + " on " + c.history + "\n" + result.err + result.out;
        EXPECT_EQ(c.exitCode, result.exitCode) << label;
        EXPECT_NE(std::string::npos, result.err.find(c.err)) << label;
        const std::vector<std::string> lines = Lines(result.out);
        if (c.results == nullptr) {
            EXPECT_EQ("", result.out) << label;
            continue;
        }
        ASSERT_FALSE(lines.empty()) << label;
        EXPECT_TRUE(lines[0].starts_with("started (UTC)")) << label;
        const std::vector<std::string> results = Lines(c.results);
        ASSERT_EQ(results.size() + 1, lines.size()) << label;
        for (std::size_t row = 0; row < results.size(); ++row)
            EXPECT_NE(std::string::npos, lines[row + 1].find("  " + results[row])) << label;
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
    EXPECT_EQ(nullptr, newest["duration_ms"]);
    std::set<std::string> names = {"explanation"};
    for (const std::string& column : SqlRows(file, "SELECT name FROM pragma_table_info('updates')"))
        names.insert(column);
    std::set<std::string> keys;
    for (const auto& [key, value] : newest.items())
        keys.insert(key);
    EXPECT_EQ(names, keys);

    const nlohmann::json completed = nlohmann::json::parse(lines[3]);
    EXPECT_EQ("Update is complete.", completed["status_text"]);
    EXPECT_EQ(nlohmann::json::array({"FPGA1"}), completed["segments_flashed"]);
    EXPECT_EQ(nlohmann::json::array(), completed["segments_held"]);

    const ProgramRun table = Run("--history --limit 1", file);
    ASSERT_EQ(0, table.exitCode) << table.err;
    EXPECT_EQ(std::string::npos, table.out.find('\x1b')) << table.out;
    EXPECT_NE(std::string::npos, table.out.find("TW\\x1B]0;owned\\x07\\xFF")) << table.out;
}

} // namespace
