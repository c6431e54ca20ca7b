// The update history on a real SQLite file: what a run leaves in it however it ends, a run
// cut short, many writers at once, and files the history cannot use.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"
#include "history/HistoryLocation.h"
#include "history/ProcessIdentity.h"

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
    EXPECT_TRUE(notices.empty()) << notices[0];
}

INSTANTIATE_TEST_SUITE_P(EveryEnding, HistoryOfARun, testing::ValuesIn(RUN_CASES),
                         LabelName<RunCase>);

// A process killed while it flashes leaves its record running; a reader tells it from a run
// that still goes on.
TEST_F(HistoryTest, ARunCutShortReadsInterrupted) {
    const pid_t child = fork();
    if (child == 0) {
        UpdateRig rig;
        UpdateHistory history = History(file);
        rig.pump.onPump = [&] {
            if (rig.progress.stepText == "2 / 5")
                raise(SIGKILL);
        };
        RecordedRun(rig, history);
        _exit(0);
    }
    int status = 0;
    ASSERT_EQ(child, waitpid(child, &status, 0));
    ASSERT_TRUE(WIFSIGNALED(status));

    UpdateHistory history = History(file);
    const std::unique_ptr<UpdateJournal> going =
        history.JournalFor(FirmwareFileFacts{"going.bin", 1, "", "TQ4800", "1.10"});
    going->RunStarted("USB0::0x1D7A::0x52C1::TW00099999::INSTR");

    // This process in an earlier boot, and a process of another PC that shares the file.
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
    ASSERT_EQ(4u, records.size());
    EXPECT_EQ("running", records[0].state);
    EXPECT_EQ("interrupted", records[1].state);
    EXPECT_EQ("interrupted", ResultText(records[1]));
    EXPECT_EQ("FPGA1", records[1].segmentsFlashed);
    EXPECT_FALSE(records[1].statusCode);
    EXPECT_EQ("interrupted", records[2].state);
    EXPECT_EQ("running", records[3].state);
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
     "schema version 99 is newer than version 1 that this program knows; the file is left as "
     "it is"},
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
