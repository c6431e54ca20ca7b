// The update history on a real SQLite file: what a run leaves in it however it ends, a run
// cut short, many writers at once, and files the history cannot use.

#include "HistoryFixture.h"
#include "fakes/ProgramRun.h"
#include "history/HistoryLocation.h"
#include "history/HistorySchema.h"
#include "history/ProcessIdentity.h"

#include <csignal>
#include <sqlite3.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace {

using sim::FaultKind;

const std::string RESOURCE = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";

sim::InstrumentConfig Faulty(sim::Fault fault) {
    return Instrument(SERIAL, sim::Mode::Normal, {fault});
}

// What a whole run leaves however it ends; a declined run was never confirmed, and the others
// count their duration from then.
TEST_F(HistoryTest, KeepsWhatTheRunDid) {
    const struct {
        const char* label;
        sim::InstrumentConfig instrument;
        MessageAnswer answer;
        std::string done; // the result, the segments flashed and those held, "|" between
    } cases[] = {
        {"completed", Instrument(), MessageAnswer::Yes,
         "Update is complete.|FPGA1 FPGA2 FPGA3 MAIN HTTP|"},
        {"one held", Faulty({FaultKind::AlreadyLatest, sim::ANY_COMMAND, 3, "", 0}),
         MessageAnswer::Yes, "Update is complete.|FPGA1 FPGA2 MAIN HTTP|FPGA3"},
        {"failed in the third", Faulty({FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0}),
         MessageAnswer::Yes, "Error number: 13|FPGA1 FPGA2|"},
        {"declined", Instrument(), MessageAnswer::No,
         std::string(StatusText(STATUS_CANCELLED)) + "||"},
    };
    const auto utcByDate = [&] {
        return RunCommand("date -u '+%F %T'", Path("")).out.substr(0, 19);
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove_all(Path("state"));
        UpdateRig rig({{row.instrument}});
        rig.boxes.answer = row.answer;
        UpdateHistory history = History(file);
        const std::string before = utcByDate();
        const auto start = std::chrono::steady_clock::now();
        RecordedRun(rig, history);
        const auto took = std::chrono::steady_clock::now() - start;
        const std::vector<HistoryRecord> records = Records(file);
        ASSERT_EQ(1u, records.size());
        const HistoryRecord& record = records[0];
        const bool confirmed = row.answer == MessageAnswer::Yes;
        EXPECT_EQ(row.done,
                  ResultText(record) + "|" + record.segmentsFlashed + "|" + record.segmentsHeld);
        EXPECT_EQ(confirmed ? 22u : 0u, record.instrumentRevision.size());
        EXPECT_EQ(RESOURCE, record.resourceName);
        EXPECT_EQ("TQ4800", record.fileModel);
        EXPECT_EQ(rig.image.ImageRev, record.fileRevision);
        EXPECT_LE(before, record.startedUtc);
        EXPECT_LE(record.endedUtc, utcByDate());
        EXPECT_EQ(confirmed, !record.confirmedUtc.empty());
        EXPECT_LE(record.durationMs,
                  std::chrono::duration_cast<std::chrono::milliseconds>(took).count());
    }
    EXPECT_TRUE(notices.empty()) << notices[0];
}

// Each record as the history file itself holds it, for sqlite3 and any reporting tool:
// "state|status_code|segments_flashed", oldest first.
std::vector<std::string> Stored(const std::string& path) {
    return SqlRows(path, "SELECT state || '|' || ifnull(status_code, '') || '|' || "
                         "segments_flashed FROM updates");
}

// A process that dies at the question leaves a declined record; one that dies while it
// flashes leaves a running one, which the next start of a program of this host writes down
// as interrupted.
TEST_F(HistoryTest, ARunCutShortIsWrittenAsItEnded) {
    struct Case {
        const char* question; // where the process dies: at the question, or at a step text
        int signal;
        std::string stored;
    } cases[] = {
        {"question", SIGINT, "ended|2|"},
        {"2 / 5", SIGKILL, "interrupted||FPGA1"},
    };
    for (const Case& c : cases) {
        std::filesystem::remove_all(Path("state"));
        const pid_t child = fork();
        if (child == 0) {
            // Ctrl-C ends a run in a terminal, even where this test was started with it ignored.
            std::signal(SIGINT, SIG_DFL);
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
        ASSERT_TRUE(WIFSIGNALED(status)) << c.question;
        UpdateHistory nextStart = History(file);
        EXPECT_EQ(std::vector<std::string>{c.stored}, Stored(file)) << c.question;
    }
}

// A reader tells a dead run from one that goes on: a process of an earlier boot is dead, and
// so is one whose process id another process holds now (its start time differs); a process
// of another PC that shares the file cannot be seen and may run. This process is named with
// ") " meanwhile, as a command name may be.
TEST_F(HistoryTest, ARunOfADeadProcessReadsInterrupted) {
    const ProcessIdentity& self = ThisProcess();
    // The process's start in clock ticks since boot, as cut(1) reads field 22 of its stat.
    const std::string stat = "/proc/" + std::to_string(getpid()) + "/stat";
    const std::int64_t started = std::stoll(RunCommand("cut -d' ' -f22 " + stat, Path("")).out);
    char name[16] = {};
    prctl(PR_GET_NAME, name);
    prctl(PR_SET_NAME, "tq) 1 2 3 4 5 6");
    // host, process id, process start, boot id
    const std::map<std::string, std::tuple<std::string, std::int64_t, std::int64_t, std::string>>
        identities = {
            {"as started", {self.host, getpid(), started, self.bootId}},
            {"pid taken by another", {self.host, getpid(), started + 1, self.bootId}},
            {"earlier boot", {self.host, getpid(), started, "an earlier boot"}},
            {"other PC", {"bench-pc-2", 1, 0, "its boot"}},
        };
    UpdateHistory history = History(file);
    StartRun(history, "TW00099999")->RunConfirmed(); // this process's own run
    HistoryDatabase database;
    std::string error;
    ASSERT_TRUE(database.Open(file, HistoryDatabase::Access::Write, error)) << error;
    for (const auto& [label, identity] : identities) {
        HistoryRecord record;
        record.serialNumber = label;
        std::tie(record.host, record.processId, record.processStart, record.bootId) = identity;
        ASSERT_TRUE(database.Insert(record, error)) << error;
    }
    std::map<std::string, std::string> states;
    for (const HistoryRecord& record : Records(file))
        states[record.serialNumber] = record.state;
    prctl(PR_SET_NAME, name);
    EXPECT_EQ((std::map<std::string, std::string>{{"TW00099999", "running"},
                                                  {"as started", "running"},
                                                  {"pid taken by another", "interrupted"},
                                                  {"earlier boot", "interrupted"},
                                                  {"other PC", "running"}}),
              states);
}

// Each writer records whole runs as fast as it can: eight threads of this process, each with
// its own journals, and a second process. The records of each program share its run id.
TEST_F(HistoryTest, EightThreadsAndASecondProcessLoseNothing) {
    constexpr int RUNS = 25;
    auto record = [](UpdateHistory& history, const std::string& serial) {
        for (int run = 0; run < RUNS; ++run) {
            const std::unique_ptr<UpdateJournal> journal = StartRun(history, serial);
            for (int position = 0; position < SEGMENT_COUNT; ++position)
                journal->SegmentDone(position, false);
            journal->RunEnded(STATUS_COMPLETE);
        }
    };
    const pid_t child = fork();
    if (child == 0) {
        UpdateHistory history = History(file);
        record(history, "TW00000009");
        _exit(notices.empty() ? 0 : 1);
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
    std::set<std::string> runIds;
    for (int writer = 1; writer <= 9; ++writer) {
        const std::vector<HistoryRecord> own = Records(file, "TW0000000" + std::to_string(writer));
        EXPECT_EQ(RUNS, static_cast<int>(own.size())) << writer;
        for (const HistoryRecord& run : own) {
            EXPECT_EQ("ended FPGA1 FPGA2 FPGA3 MAIN HTTP", run.state + " " + run.segmentsFlashed);
            runIds.insert(run.runId);
        }
    }
    EXPECT_EQ(2u, runIds.size());
}

// Two whole updates complete with the window's log untouched; the problem is said once.
TEST_F(HistoryTest, ABrokenHistoryDoesNotStopTheUpdate) {
    const struct {
        const char* label;
        std::function<std::string()> spoil; // returns the path the history is then told
        const char* problem;
    } cases[] = {
        {"not a database",
         [&] { return Write("junk.sqlite3", std::vector<std::uint8_t>(4096, 'x')); },
         "file is not a database"},
        {"folder cannot be made", [&] { return Write("plain-file", {}) + "/history.sqlite3"; },
         "unable to open database file"},
        {"newer schema",
         [&] {
             SqlRows(Path("newer.sqlite3"), "PRAGMA user_version = 3");
             return Path("newer.sqlite3");
         },
         "schema version 3 is newer than version 2 that this program knows; the file is left as "
         "it is"},
        {"schema 1 whose upgrade fails",
         [&] {
             std::filesystem::copy_file(TQ4800_SCHEMA_1_FILE, Path("schema1.sqlite3"));
             SqlRows(Path("schema1.sqlite3"), "CREATE TABLE updates_by_start (x)");
             return Path("schema1.sqlite3");
         },
         "cannot be upgraded: there is already a table named updates_by_start"},
    };
    for (const auto& row : cases) {
        SCOPED_TRACE(row.label);
        std::filesystem::remove_all(Path("state"));
        notices.clear();
        const std::string path = row.spoil();
        const std::string before = ReadWholeFile(path);
        {
            OnceNotice notice([this](const std::string& text) { notices.push_back(text); });
            UpdateHistory history({false, path}, "terminal", notice);
            for (int run = 0; run < 2; ++run) {
                UpdateRig rig;
                EXPECT_EQ(STATUS_COMPLETE, RecordedRun(rig, history).status);
                EXPECT_EQ(CompletedLog(), rig.log.text());
            }
        }
        ASSERT_EQ(1u, notices.size());
        EXPECT_TRUE(notices[0].starts_with("update history " + path + ": ")) << notices[0];
        EXPECT_NE(std::string::npos, notices[0].find(row.problem)) << notices[0];
        EXPECT_TRUE(notices[0].ends_with("; the update runs on without it")) << notices[0];
        EXPECT_EQ(before, ReadWholeFile(path));
    }
}

// A file of the first release, upgraded in place by the first program that writes it: every
// record kept as it was, the new columns empty, and the file read by the new names. The
// listing of the newest records and the search for dead runs then read their index, never the
// whole table: their time does not grow with the history.
TEST_F(HistoryTest, UpgradesASchema1FileInPlace) {
    const std::string path = Path("schema1.sqlite3");
    std::filesystem::copy_file(TQ4800_SCHEMA_1_FILE, path);
    std::vector<std::string> before = Stored(path);
    {
        UpdateHistory history = History(path);
        StartRun(history, "TW00099999")->RunEnded(STATUS_CANCELLED);
    }
    EXPECT_TRUE(notices.empty()) << notices[0];
    const std::vector<std::string> after = Stored(path);
    ASSERT_EQ(6u, after.size());
    before.push_back("ended|2|");
    // The killed run of the fixture was of another host or is written down as interrupted.
    if (after[4] != before[4])
        before[4] = "interrupted||FPGA1 FPGA2";
    EXPECT_EQ(before, after);

    const std::vector<HistoryRecord> records = Records(path);
    ASSERT_EQ(6u, records.size());
    EXPECT_EQ(UTILITY_VERSION, records[0].utilityVersion);
    EXPECT_EQ(32u, records[0].runId.size());
    EXPECT_EQ("", records[1].runId);
    for (const auto& [query, index] :
         {std::pair{ListingQuery(HISTORY_SCHEMA_VERSION, false), "updates_by_start"},
          std::pair{std::string(RUNNING_QUERY), "updates_running"}}) {
        std::string plan;
        for (const std::string& step : SqlRows(path, "EXPLAIN QUERY PLAN " + query))
            plan += step + "\n";
        EXPECT_NE(std::string::npos, plan.find(index)) << plan;
        EXPECT_EQ(std::string::npos, plan.find("TEMP B-TREE")) << plan;
    }
}

// The history under XDG_STATE_HOME is the user's own; one named by TQ4800_HISTORY keeps the
// permissions its owner gave it. On a FUSE mount (as on NFS and SMB), where WAL's shared memory
// is unsafe, the history is written with the rollback journal; on a local disk in WAL mode. The
// file's header tells: its bytes 18 and 19 are 2 in WAL mode, 1 with the rollback journal.
TEST_F(HistoryTest, TheFileIsAsItsLocationNeedsIt) {
    using std::filesystem::perms;
    const std::string shared = Write("shared.sqlite3", {});
    std::filesystem::permissions(shared, perms(0664));
    std::filesystem::create_directories(Path("disk"));
    std::filesystem::create_directories(Path("mounted"));
    const bool mounted =
        RunCommand("bindfs " + ShellWord(Path("disk")) + " " + ShellWord(Path("mounted")), Path(""))
            .exitCode == 0;
    const std::tuple<HistoryLocation, perms, perms, char> cases[] = {
        {{false, file, true}, perms(0600), perms(0700), 2},
        {{false, shared, false}, perms(0664), perms(0755), 2},
        {{false, Path("mounted/history.sqlite3"), false}, perms(0644), perms(0755), 1},
    };
    const auto permissions = [](const std::filesystem::path& path) {
        return std::filesystem::status(path).permissions() & perms::all;
    };
    for (const auto& [location, filePerms, folderPerms, journal] : cases) {
        if (journal == 1 && !mounted)
            continue;
        {
            UpdateHistory history(location, "terminal", notice_);
            StartRun(history, "TW00099999")->RunEnded(STATUS_COMPLETE);
        }
        EXPECT_EQ(filePerms, permissions(location.path)) << location.path;
        EXPECT_EQ(folderPerms, permissions(std::filesystem::path(location.path).parent_path()));
        EXPECT_EQ(std::string(2, journal), ReadWholeFile(location.path).substr(18, 2));
    }
    EXPECT_EQ(perms(0700), permissions(Path("state")));
    EXPECT_TRUE(notices.empty()) << notices[0];
    RunCommand("fusermount -u " + ShellWord(Path("mounted")), Path(""));
    if (!mounted)
        GTEST_SKIP() << "no FUSE mount here (bindfs, /dev/fuse)";
}

// Another program locks the file after a first run was saved: the instruments of a fleet each
// start a run at once, and together wait for it only about as long as one would, then run on
// with one notice.
TEST_F(HistoryTest, ALockedHistoryIsWaitedForOnceByAllRuns) {
    constexpr auto WAIT = std::chrono::milliseconds(400);
    UpdateHistory history({false, file}, "terminal", notice_, "run", WAIT);
    StartRun(history, "TW00000009")->RunEnded(STATUS_COMPLETE);
    sqlite3* other = nullptr;
    ASSERT_EQ(SQLITE_OK, sqlite3_open(file.c_str(), &other));
    ASSERT_EQ(SQLITE_OK, sqlite3_exec(other, "BEGIN EXCLUSIVE", nullptr, nullptr, nullptr));
    const auto start = std::chrono::steady_clock::now();
    std::vector<std::thread> members;
    for (int member = 0; member < 8; ++member)
        members.emplace_back([&history, member] {
            const std::unique_ptr<UpdateJournal> journal =
                StartRun(history, "TW0000000" + std::to_string(member));
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

// The file at its absolute path, with the digest of a standard's test vector (FIPS 180-2, "abc",
// whose bytes 0x03 and 0x00 need their leading zero digit); a file that cannot be read again is
// said, and recorded without size and digest.
TEST_F(HistoryTest, RecordsTheFileAsItIsOnTheDisk) {
    std::filesystem::create_directories(Path("sub"));
    Write("abc", Bytes("abc"));
    UpdateHistory history = History(file);
    for (const char* name : {"sub/../abc", "missing.bin"})
        history.JournalFor(Path(name), ImageInfo{})->RunStarted(RESOURCE);
    std::vector<std::string> facts;
    for (const HistoryRecord& record : Records(file))
        facts.push_back(record.filePath + " " + std::to_string(record.fileSize) + " " +
                        record.fileSha256);
    EXPECT_EQ(
        (std::vector<std::string>{
            Path("missing.bin") + " 0 ",
            Path("abc") + " 3 ba7816bf8f01cfea414140de5dae2223b00361a396177a9cb410ff61f20015ad"}),
        facts);
    EXPECT_EQ(std::vector<std::string>{"the firmware file " + Path("missing.bin") +
                                       " cannot be read again for its SHA-256"},
              notices);
}

// Where the history lives when TQ4800_HISTORY names none: under XDG_STATE_HOME if it is an
// absolute path, else under HOME (here /home/op); either is private to the user.
TEST(HistoryLocation, FollowsXdgStateHome) {
    const std::pair<const char*, const char*> cases[] = {
        {"/var/state", "/var/state/tq4800-update/history.sqlite3"},
        {nullptr, "/home/op/.local/state/tq4800-update/history.sqlite3"},
        {"relative/state", "/home/op/.local/state/tq4800-update/history.sqlite3"},
    };
    const std::string history = std::getenv("TQ4800_HISTORY") ? std::getenv("TQ4800_HISTORY") : "";
    const std::string home = std::getenv("HOME") ? std::getenv("HOME") : "/";
    unsetenv("TQ4800_HISTORY");
    setenv("HOME", "/home/op", 1);
    for (const auto& [stateHome, expected] : cases) {
        stateHome != nullptr ? setenv("XDG_STATE_HOME", stateHome, 1) : unsetenv("XDG_STATE_HOME");
        const HistoryLocation location = HistoryLocationFromEnvironment();
        EXPECT_EQ(expected, location.path);
        EXPECT_TRUE(location.standard && !location.off);
    }
    setenv("TQ4800_HISTORY", history.c_str(), 1);
    setenv("HOME", home.c_str(), 1);
}

} // namespace
