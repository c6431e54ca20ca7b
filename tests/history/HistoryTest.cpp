// The update history on a real SQLite file: what a run leaves in it however it ends, a run
// cut short, many writers at once, and files the history cannot use.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"
#include "history/HistoryLocation.h"
#include "history/HistorySchema.h"
#include "history/ProcessIdentity.h"
#include "image/ValidateImage.h"

#include <csignal>
#include <sqlite3.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using sim::FaultKind;

const std::string RESOURCE = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";

struct RunCase {
    const char* label;
    sim::InstrumentConfig instrument;
    MessageAnswer answer;
    StatusCode code;
    const char* flashed;
    const char* held;
    bool identified; // the loader's revision field was read
};

sim::InstrumentConfig Faulty(sim::Fault fault) {
    return Instrument(SERIAL, sim::Mode::Normal, {fault});
}

sim::InstrumentConfig Newer() {
    sim::InstrumentConfig instrument = Instrument();
    instrument.revisions.fpga2 = "09";
    return instrument;
}

const RunCase RUN_CASES[] = {
    {"completed", Instrument(), MessageAnswer::Yes, STATUS_COMPLETE, "FPGA1 FPGA2 FPGA3 MAIN HTTP",
     "", true},
    {"one segment already held", Faulty({FaultKind::AlreadyLatest, sim::ANY_COMMAND, 3, "", 0}),
     MessageAnswer::Yes, STATUS_COMPLETE, "FPGA1 FPGA2 MAIN HTTP", "FPGA3", true},
    {"failed in the third segment", Faulty({FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0}),
     MessageAnswer::Yes, STATUS_PROGRAM_FAILED, "FPGA1 FPGA2", "", true},
    {"instrument newer", Newer(), MessageAnswer::Yes, STATUS_DEVICE_NEWER, "", "", true},
    {"declined", Instrument(), MessageAnswer::No, STATUS_CANCELLED, "", "", false},
};

void PrintTo(const RunCase& row, std::ostream* out) {
    *out << row.label;
}

class HistoryOfARun : public HistoryTest, public testing::WithParamInterface<RunCase> {};

TEST_P(HistoryOfARun, KeepsWhatTheRunDid) {
    const RunCase& row = GetParam();
    UpdateRig rig({{row.instrument}});
    rig.boxes.answer = row.answer;
    UpdateHistory history = History(file);
    EXPECT_EQ(row.code, RecordedRun(rig, history).status);

    const std::vector<HistoryRecord> records = Records();
    ASSERT_EQ(1u, records.size());
    const HistoryRecord& record = records[0];
    EXPECT_EQ("ended", record.state);
    EXPECT_EQ(row.code, record.statusCode);
    EXPECT_EQ(row.code == STATUS_PROGRAM_FAILED ? "Error number: 13"
                                                : std::string(StatusText(row.code)),
              ResultText(record));
    EXPECT_EQ(row.flashed, record.segmentsFlashed);
    EXPECT_EQ(row.held, record.segmentsHeld);
    EXPECT_EQ(row.identified ? 22u : 0u, record.instrumentRevision.size());
    EXPECT_EQ(RESOURCE, record.resourceName);
    EXPECT_EQ("TW00012345", record.serialNumber);
    // The file as sha256sum and the file system see it.
    const ProgramRun digest = RunCommand("sha256sum " + ShellWord(Path("firmware.bin")), Path(""));
    EXPECT_EQ(digest.out.substr(0, 64), record.fileSha256);
    EXPECT_EQ(std::filesystem::file_size(Path("firmware.bin")), record.fileSize);
    EXPECT_EQ(Path("firmware.bin"), record.filePath);
    EXPECT_EQ("TQ4800", record.fileModel);
    EXPECT_EQ(rig.image.ImageRev, record.fileRevision);
    EXPECT_EQ(getpid(), record.processId);
    EXPECT_EQ("terminal", record.frontEnd);
    EXPECT_LE(record.startedUtc, record.endedUtc);
    // A declined run was never confirmed; the others count their duration from then.
    EXPECT_EQ(row.answer == MessageAnswer::Yes, !record.confirmedUtc.empty());
    EXPECT_TRUE(notices.empty()) << notices[0];
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, HistoryOfARun, testing::ValuesIn(RUN_CASES),
                         LabelName<RunCase>);

// Each record as the history file itself holds it, for sqlite3 and any reporting tool:
// "state|status_code|segments_flashed", oldest first.
std::vector<std::string> Stored(const std::string& path) {
    std::vector<std::string> rows;
    sqlite3* connection = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &connection));
    sqlite3_exec(
        connection,
        "SELECT state || '|' || ifnull(status_code, '') || '|' || segments_flashed FROM updates",
        [](void* list, int, char** values, char**) {
            static_cast<std::vector<std::string>*>(list)->push_back(values[0]);
            return 0;
        },
        &rows, nullptr);
    sqlite3_close(connection);
    return rows;
}

// A process that dies at the question leaves a declined record; one that dies while it
// flashes leaves a running one, which the next start of a program of this host writes down
// as interrupted.
TEST_F(HistoryTest, ARunCutShortIsWrittenAsItEnded) {
    struct Case {
        const char* label;
        const char* question; // where the process dies: at the question, or at a step text
        int signal;
        std::string stored;
    } cases[] = {
        {"Ctrl-C at the question", "question", SIGINT, "ended|2|"},
        {"killed while flashing", "2 / 5", SIGKILL, "interrupted||FPGA1"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(Path("state"));
        const pid_t child = fork();
        if (child == 0) {
            UpdateRig rig;
            UpdateHistory history = History(file);
            rig.boxes.onShow = [&] {
                if (std::string(c.question) == "question")
                    raise(c.signal);
            };
            rig.pump.onPump = [&] {
                if (rig.progress.stepText == c.question)
                    raise(c.signal);
            };
            RecordedRun(rig, history);
            _exit(0);
        }
        int status = 0;
        ASSERT_EQ(child, waitpid(child, &status, 0));
        ASSERT_TRUE(WIFSIGNALED(status)) << c.label;
        UpdateHistory nextStart = History(file);
        EXPECT_EQ(std::vector<std::string>{c.stored}, Stored(file)) << c.label;
    }
}

// A reader tells a dead run from one that goes on: this process in an earlier boot is dead,
// a process of another PC that shares the file cannot be seen and may run.
TEST_F(HistoryTest, ARunOfAnEarlierBootReadsInterrupted) {
    UpdateHistory history = History(file);
    const std::unique_ptr<UpdateJournal> going =
        history.JournalFor(FirmwareFileFacts{"going.bin", 1, "", "TQ4800", "1.10"});
    going->RunStarted("USB0::0x1D7A::0x52C1::TW00099999::INSTR");
    going->RunConfirmed();
    HistoryDatabase database;
    std::string error;
    ASSERT_TRUE(database.Open(file, HistoryDatabase::Access::Write, error)) << error;
    HistoryRecord earlierBoot;
    earlierBoot.startedUtc = "2000-01-01 00:00:01";
    earlierBoot.host = ThisProcess().host;
    earlierBoot.processId = getpid();
    earlierBoot.processStart = ThisProcess().processStart;
    earlierBoot.bootId = "an earlier boot";
    HistoryRecord otherPc;
    otherPc.startedUtc = "2000-01-01 00:00:00";
    otherPc.host = "bench-pc-2";
    ASSERT_TRUE(database.Insert(earlierBoot, error) && database.Insert(otherPc, error)) << error;

    const std::vector<HistoryRecord> records = Records();
    ASSERT_EQ(3u, records.size());
    EXPECT_EQ("running", records[0].state);
    EXPECT_EQ("interrupted", records[1].state);
    EXPECT_EQ("interrupted", ResultText(records[1]));
    EXPECT_FALSE(records[1].statusCode);
    EXPECT_EQ("running", records[2].state);
}

// Each writer records whole runs as fast as it can: eight threads of this process, each with
// its own journals, and a second process.
TEST_F(HistoryTest, EightThreadsAndASecondProcessLoseNothing) {
    constexpr int RUNS = 25;
    auto record = [](UpdateHistory& history, const std::string& serial) {
        for (int run = 0; run < RUNS; ++run) {
            const std::unique_ptr<UpdateJournal> journal =
                history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
            journal->RunStarted("USB0::0x1D7A::0x52C1::" + serial + "::INSTR");
            for (int position = 0; position < SEGMENT_COUNT; ++position)
                journal->SegmentDone(position, false);
            journal->RunEnded(STATUS_COMPLETE);
        }
    };
    const pid_t child = fork();
    if (child == 0) {
        OnceNotice toStandardError(
            [](const std::string& text) { fprintf(stderr, "%s\n", text.c_str()); });
        UpdateHistory history({false, file}, "terminal", toStandardError);
        record(history, "TW00000009");
        _exit(0);
    }
    UpdateHistory history = History(file);
    std::vector<std::thread> threads;
    for (int thread = 1; thread <= 8; ++thread)
        threads.emplace_back(record, std::ref(history), "TW0000000" + std::to_string(thread));
    for (std::thread& thread : threads)
        thread.join();
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0);

    EXPECT_TRUE(notices.empty()) << notices[0];
    EXPECT_EQ(9u * RUNS, Records().size());
    for (int writer = 1; writer <= 9; ++writer) {
        const std::vector<HistoryRecord> own = Records("TW0000000" + std::to_string(writer));
        EXPECT_EQ(RUNS, static_cast<int>(own.size())) << writer;
        for (const HistoryRecord& run : own)
            EXPECT_EQ("ended FPGA1 FPGA2 FPGA3 MAIN HTTP", run.state + " " + run.segmentsFlashed);
    }
}

void SetSchemaVersion(const std::string& path, int version) {
    sqlite3* connection = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &connection));
    const std::string sql = "PRAGMA user_version = " + std::to_string(version);
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(connection, sql.c_str(), nullptr, nullptr, nullptr));
    sqlite3_close(connection);
}

// A history file as a first run leaves it.
std::string Created(const std::string& path) {
    HistoryDatabase database;
    std::string error;
    EXPECT_TRUE(database.Open(path, HistoryDatabase::Access::Write, error)) << error;
    return path;
}

struct BrokenCase {
    const char* label;
    // Spoils the history at the given path; returns the path the history is then told.
    std::function<std::string(HistoryTest&, const std::string&)> spoil;
    const char* problem;
    bool onlyWithoutRoot = false; // root writes to read-only files
};

void PrintTo(const BrokenCase& row, std::ostream* out) {
    *out << row.label;
}

class BrokenHistory : public HistoryTest, public testing::WithParamInterface<BrokenCase> {
public:
    using TempFolderTest::Path;
    std::string WriteText(const std::string& name, const std::string& text) {
        return Write(name, Bytes(text));
    }
};

const BrokenCase BROKEN_CASES[] = {
    {"not a database",
     [](HistoryTest& test, const std::string&) {
         return static_cast<BrokenHistory&>(test).WriteText("junk.sqlite3", std::string(4096, 'x'));
     },
     "file is not a database"},
    {"folder cannot be made",
     [](HistoryTest& test, const std::string&) {
         return static_cast<BrokenHistory&>(test).WriteText("plain-file", "") + "/history.sqlite3";
     },
     "unable to open database file"},
    {"newer schema",
     [](HistoryTest&, const std::string& path) {
         SetSchemaVersion(Created(path), 99);
         return path;
     },
     "schema version 99 is newer than version 2 that this program knows; the file is left as "
     "it is"},
    {"schema 1 whose upgrade fails",
     [](HistoryTest& test, const std::string&) {
         const std::string path = static_cast<BrokenHistory&>(test).Path("schema1.sqlite3");
         std::filesystem::copy_file(TQ4800_SCHEMA_1_FILE, path);
         sqlite3* connection = nullptr;
         sqlite3_open(path.c_str(), &connection);
         sqlite3_exec(connection, "CREATE TABLE updates_by_start (x)", nullptr, nullptr, nullptr);
         sqlite3_close(connection);
         return path;
     },
     "cannot be upgraded: there is already a table named updates_by_start"},
    {"read-only file",
     [](HistoryTest&, const std::string& path) {
         chmod(Created(path).c_str(), 0444);
         return path;
     },
     "readonly database", true},
};

// Two whole updates complete with the window's log untouched; the problem is said once.
TEST_P(BrokenHistory, DoesNotStopTheUpdate) {
    const BrokenCase& row = GetParam();
    if (row.onlyWithoutRoot && geteuid() == 0)
        GTEST_SKIP() << "root may write a read-only file";
    const std::string path = row.spoil(*this, file);
    const std::string before = ReadWholeFile(path);
    UpdateHistory history = History(path);
    for (int run = 0; run < 2; ++run) {
        UpdateRig rig;
        EXPECT_EQ(STATUS_COMPLETE, RecordedRun(rig, history).status);
        EXPECT_EQ(CompletedLog(), rig.log.text());
    }
    ASSERT_EQ(1u, notices.size());
    EXPECT_TRUE(notices[0].starts_with("update history " + path + ": ")) << notices[0];
    EXPECT_NE(std::string::npos, notices[0].find(row.problem)) << notices[0];
    EXPECT_TRUE(notices[0].ends_with("; the update runs on without it")) << notices[0];
    EXPECT_EQ(before, ReadWholeFile(path));
}

INSTANTIATE_TEST_SUITE_P(EveryProblem, BrokenHistory, testing::ValuesIn(BROKEN_CASES),
                         LabelName<BrokenCase>);

// A file of the first release, upgraded in place by the first program that writes it: every
// record kept as it was, the new columns empty, and the file read by the new names.
TEST_F(HistoryTest, UpgradesASchema1FileInPlace) {
    const std::string path = Path("schema1.sqlite3");
    std::filesystem::copy_file(TQ4800_SCHEMA_1_FILE, path);
    const std::vector<std::string> before = Stored(path);
    ASSERT_EQ(5u, before.size());
    {
        UpdateHistory history = History(path);
        const std::unique_ptr<UpdateJournal> journal =
            history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
        journal->RunStarted("USB0::0x1D7A::0x52C1::TW00099999::INSTR");
        journal->RunEnded(STATUS_CANCELLED);
    }
    EXPECT_TRUE(notices.empty()) << notices[0];
    std::vector<std::string> after = Stored(path);
    ASSERT_EQ(6u, after.size());
    EXPECT_EQ("ended|2|", after.back());
    after.pop_back();
    // The killed run of the fixture was of another host or is written down as interrupted.
    if (after[4] != before[4]) {
        EXPECT_EQ("interrupted||FPGA1 FPGA2", after[4]);
    }
    after[4] = before[4];
    EXPECT_EQ(before, after);

    HistoryDatabase database;
    std::vector<HistoryRecord> records;
    std::string error;
    ASSERT_TRUE(database.Open(path, HistoryDatabase::Access::Read, error) &&
                database.Read("", 0, records, error))
        << error;
    ASSERT_EQ(6u, records.size());
    EXPECT_EQ(UTILITY_VERSION, records[0].utilityVersion);
    EXPECT_EQ(32u, records[0].runId.size());
    EXPECT_EQ("", records[1].runId);
    EXPECT_EQ("TW00067890", records.back().serialNumber);
}

// The listing of the newest records and the search for dead runs read their index, never the
// whole table: their time does not grow with the history.
TEST_F(HistoryTest, QueriesUseTheirIndexes) {
    {
        UpdateHistory history = History(file);
        history.JournalFor(FirmwareFileFacts{})->RunStarted("USB0::0x1D7A::0x52C1::TW1::INSTR");
    }
    sqlite3* connection = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &connection));
    for (const auto& [query, index] :
         {std::pair{ListingQuery(HISTORY_SCHEMA_VERSION, false), "updates_by_start"},
          std::pair{std::string(RUNNING_QUERY), "updates_running"}}) {
        std::string plan;
        sqlite3_exec(
            connection, ("EXPLAIN QUERY PLAN " + query).c_str(),
            [](void* text, int count, char** values, char**) {
                *static_cast<std::string*>(text) += std::string(values[count - 1]) + "\n";
                return 0;
            },
            &plan, nullptr);
        EXPECT_NE(std::string::npos, plan.find(index)) << plan;
        EXPECT_EQ(std::string::npos, plan.find("TEMP B-TREE")) << plan;
    }
    sqlite3_close(connection);
}

// The history under XDG_STATE_HOME is the user's own; one named by TQ4800_HISTORY keeps the
// permissions its owner gave it.
TEST_F(HistoryTest, PermissionsAreThoseOfTheLocation) {
    using std::filesystem::perms;
    const std::string shared = Write("shared.sqlite3", {});
    std::filesystem::permissions(shared, perms(0664));
    struct Case {
        HistoryLocation location;
        perms file;
        perms folder;
    } cases[] = {
        {{false, Path("state/tq4800-update/history.sqlite3"), true}, perms(0600), perms(0700)},
        {{false, shared, false}, perms(0664), perms(0755)},
    };
    for (const Case& c : cases) {
        {
            UpdateHistory history(c.location, "terminal", notice_);
            const std::unique_ptr<UpdateJournal> journal =
                history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
            journal->RunStarted("USB0::0x1D7A::0x52C1::TW00099999::INSTR");
            journal->RunConfirmed();
            for (const char* end : {"-wal", "-shm"})
                EXPECT_EQ(c.file,
                          std::filesystem::status(c.location.path + end).permissions() & perms::all)
                    << end;
            journal->RunEnded(STATUS_COMPLETE);
        }
        EXPECT_EQ(c.file, std::filesystem::status(c.location.path).permissions() & perms::all);
        const std::filesystem::path folder = std::filesystem::path(c.location.path).parent_path();
        EXPECT_EQ(c.folder, std::filesystem::status(folder).permissions() & perms::all);
    }
    EXPECT_EQ(perms(0700), std::filesystem::status(Path("state")).permissions() & perms::all);
    EXPECT_TRUE(notices.empty()) << notices[0];
}

// On a FUSE mount (as on NFS and SMB), where WAL's shared memory is unsafe, the history is
// written with the rollback journal; on a local disk in WAL mode. The file's header tells:
// its bytes 18 and 19 are 2 in WAL mode, 1 with the rollback journal.
TEST_F(HistoryTest, UsesTheRollbackJournalOnANetworkOrFuseFileSystem) {
    std::filesystem::create_directories(Path("disk"));
    std::filesystem::create_directories(Path("mounted"));
    const bool mounted =
        RunCommand("bindfs " + ShellWord(Path("disk")) + " " + ShellWord(Path("mounted")), Path(""))
            .exitCode == 0;
    if (!mounted)
        GTEST_SKIP() << "no FUSE mount here (bindfs, /dev/fuse)";
    for (const auto& [path, mode] :
         {std::pair{Path("mounted/history.sqlite3"), 1}, std::pair{Path("local.sqlite3"), 2}}) {
        {
            UpdateHistory history = History(path);
            history.JournalFor(FirmwareFileFacts{})->RunStarted("USB0::0x1D7A::0x52C1::TW1::INSTR");
        }
        const std::string header = ReadWholeFile(path).substr(18, 2);
        EXPECT_EQ(std::string(2, static_cast<char>(mode)), header) << path;
    }
    RunCommand("fusermount -u " + ShellWord(Path("mounted")), Path(""));
    EXPECT_TRUE(notices.empty()) << notices[0];
}

// Another program holds the file locked: the instruments of a fleet each start a run at
// once, and together wait for it only about as long as one would, then run on with one
// notice.
TEST_F(HistoryTest, ALockedHistoryIsWaitedForOnceByAllRuns) {
    Created(file);
    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    constexpr auto WAIT = std::chrono::milliseconds(400);
    UpdateHistory history({false, file}, "terminal", notice_, "run", WAIT);
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> members;
    for (int member = 0; member < 8; ++member)
        members.emplace_back([&history, member] {
            const std::unique_ptr<UpdateJournal> journal =
                history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
            journal->RunStarted("USB0::0x1D7A::0x52C1::TW0000000" + std::to_string(member) +
                                "::INSTR");
            journal->RunConfirmed();
            journal->RunEnded(STATUS_COMPLETE);
        });
    for (std::thread& member : members)
        member.join();
    const auto waited = std::chrono::steady_clock::now() - start;
    sqlite3_exec(other, "ROLLBACK", nullptr, nullptr, nullptr);
    sqlite3_close(other);
    EXPECT_LT(waited, 3 * WAIT);
    ASSERT_EQ(1u, notices.size());
    EXPECT_NE(std::string::npos, notices[0].find("database is locked")) << notices[0];
}

// The digest of a standard's test vector (FIPS 180-2, "abc"), whose bytes 0x03 and 0x00
// need their leading zero digit.
TEST_F(HistoryTest, RecordsTheStandardSha256OfTheFile) {
    std::string problem;
    const FirmwareFileFacts facts =
        DescribeFirmwareFile(Write("abc", Bytes("abc")), ImageInfo{}, problem);
    EXPECT_EQ("ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad", facts.sha256);
    EXPECT_EQ(3, facts.size);
    EXPECT_EQ("", problem);
}

// Where the history lives, by the environment of the program.
TEST(HistoryLocation, FollowsTheEnvironment) {
    struct Case {
        const char* history;
        const char* stateHome;
        const char* home;
        HistoryLocation expected;
    } cases[] = {
        {nullptr, "/var/state", "/home/op", {false, "/var/state/tq4800-update/history.sqlite3"}},
        {nullptr,
         nullptr,
         "/home/op",
         {false, "/home/op/.local/state/tq4800-update/history.sqlite3"}},
        {nullptr,
         "relative/state",
         "/home/op",
         {false, "/home/op/.local/state/tq4800-update/history.sqlite3"}},
        {"/srv/bench.sqlite3", "/var/state", "/home/op", {false, "/srv/bench.sqlite3"}},
        {"off", "/var/state", "/home/op", {true, ""}},
    };
    auto set = [](const char* name, const char* value) {
        value != nullptr ? setenv(name, value, 1) : unsetenv(name);
    };
    const std::string history = std::getenv("TQ4800_HISTORY") ? std::getenv("TQ4800_HISTORY") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    for (const Case& c : cases) {
        set("TQ4800_HISTORY", c.history);
        set("XDG_STATE_HOME", c.stateHome);
        set("HOME", c.home);
        const HistoryLocation location = HistoryLocationFromEnvironment();
        EXPECT_EQ(c.expected.off, location.off) << c.expected.path;
        EXPECT_EQ(c.expected.path, location.path);
    }
    set("TQ4800_HISTORY", history.c_str());
    set("HOME", home.c_str());
}

} // namespace
