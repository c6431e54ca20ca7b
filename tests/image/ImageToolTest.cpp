#include "ImageTestFiles.h"
#include "fakes/ProgramRun.h"
#include "image/Checksum.h"
#include "image/FormatText.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <grp.h>
#include <gtest/gtest.h>
#include <sys/ptrace.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <tuple>
#include <unistd.h>

namespace {
class ImageTool : public TempFolderTest {
protected:
    ProgramRun Run(const std::vector<std::string>& arguments) {
        std::string command =
            "cd " + ShellWord(folder_.string()) + " && " + ShellWord(TQ4800_IMAGE_TOOL);
        for (const std::string& argument : arguments)
            command += " " + ShellWord(argument);
        return RunCommand(command, folder_.string());
    }

    std::vector<std::string> BuildArguments(const std::string& output) {
        return {"build",          "-o",   output,          "--model", "TQ4800",
                "--image-rev",    "1.10", "--utility-rev", "1.0.0",   "--description",
                "Built by a test"};
    }
    // The whole command line of a build of the demo file.
    std::vector<std::string> DemoBuild(const std::string& output) {
        std::vector<std::string> arguments = BuildArguments(output);
        arguments.insert(arguments.begin(), TQ4800_IMAGE_TOOL);
        arguments.push_back("--demo");
        return arguments;
    }
};

// check and show end with the window's result for a file: nothing said for an accepted one,
// the window's text and number for a refused one. Anything but a regular file is refused at
// once with 66, even a FIFO without a writer; "--" lets a file name begin with "-"; wrong
// arguments give 64. Text from a file reaches the terminal escaped, in messages as in the
// listing. A text that ends a line ends standard error; an empty one is all of it.
TEST_F(ImageTool, ExitCodesOfFilesAndArgumentsAndEscapedText) {
    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    const std::string accepted = Write("-accepted.img", WriteImageFile(AcceptedContents()));
    const std::string newer =
        Write("newer.img", Changed([](ImageContents& c) { c.header.utilityRev = "2"; }));
    const std::string tooLong =
        Write("long.img", Bytes("#ImageRev=" + std::string(16, '1') + "\n"));
    const std::string escape =
        Write("escape.img",
              Changed([](ImageContents& c) { c.header.modelName = "TQ\033[2J\033]0;X\a4800"; }));
    const std::string cannotOpen = ": Can't open file.\n";
    const std::tuple<std::vector<std::string>, int, std::string> cases[] = {
        {{"check", Path("missing.img")}, 66, cannotOpen},
        {{"show", folder_.string()}, 66, cannotOpen},
        {{"show", Path("fifo")}, 66, cannotOpen},
        {{"check", "--", "-accepted.img"}, 0, ""},
        {{"show", accepted}, 0, ""},
        // As check says it on standard error, and as show's result line lists it.
        {{"check", newer}, 21, std::string(StatusText(21)) + " Error number: 21"},
        {{"show", tooLong}, 20, "20 " + std::string(StatusText(20))},
        {{"check", escape}, 19, "\\x1B[2J"},
        {{"show", escape}, 19, "\\x1B[2J"},
        {{}, 64, "tq4800-image: "},
        {{"frob"}, 64, "tq4800-image: "},
        {{"check"}, 64, "tq4800-image: "},
        {{"check", ""}, 64, "tq4800-image: "},
        {{"build", "-o"}, 64, "tq4800-image: "},
        {{"build", "--bogus", "x"}, 64, "tq4800-image: "},
        {{"--help"}, 0, ""},
    };
    for (const auto& [arguments, exitCode, said] : cases) {
        SCOPED_TRACE(testing::PrintToString(arguments));
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, exitCode);
        EXPECT_TRUE(said.empty()           ? run.err.empty()
                    : said.ends_with('\n') ? run.err.ends_with(said)
                                           : Contains(run.out + run.err, said))
            << run.err;
        EXPECT_EQ((run.out + run.err).find_first_of("\033\a"), std::string::npos);
        if (!arguments.empty() && arguments[0] == "check") {
            EXPECT_EQ("", run.out);
        }
    }
}

// The payloads go into an accepted file, whose checksums show lists. A payload too large for
// its region (a device without end too) and a revision the update would refuse are refused
// before anything is written.
TEST_F(ImageTool, BuildWritesThePayloadsOrFailsWithItsOwnCode) {
    std::vector<std::string> arguments = BuildArguments(Path("out.img"));
    std::vector<std::vector<std::uint8_t>> payloads;
    const char* revisions[] = {"03", "04", "05", "1.11", "1.12"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        payloads.emplace_back(100 + position * 33, static_cast<std::uint8_t>(position + 1));
        const std::string payload = Write(FormatText("payload:%d.bin", position), payloads.back());
        arguments.push_back(std::string(FileSegmentKind(position).name) + "=" + payload + ":" +
                            revisions[position]);
    }
    const auto with = [&](int position, const std::string& segment) {
        std::vector<std::string> changed = arguments;
        changed[changed.size() - SEGMENT_COUNT + position] = segment;
        return changed;
    };
    const std::string small = Write("small.bin", {1, 2, 3});
    const std::string large = Write("large.bin", std::vector<std::uint8_t>(0x10000 - 21));
    std::vector<std::string> noFolder = BuildArguments(Path("no/such/folder.img"));
    noFolder.push_back("--demo");
    const std::pair<std::vector<std::string>, int> cases[] = {
        {with(0, "FPGA1=" + large + ":01"), 65},
        {with(1, "FPGA2=/dev/zero:01"), 65},
        {with(1, "FPGA2=" + small + ":XX"), 65},
        {with(3, "MAIN=" + small + ":110"), 65},
        {with(4, "HTTP=" + small + ":1.1"), 65},
        {with(0, "FPGA1=" + Path("missing.bin") + ":01"), 66},
        {{arguments.begin(), arguments.end() - 1}, 64},
        {noFolder, 73},
        {arguments, 0},
    };
    for (const auto& [command, exitCode] : cases) {
        const ProgramRun run = Run(command);
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_EQ(std::filesystem::exists(Path("out.img")), exitCode == 0) << run.err;
    }
    ImageInfo image;
    ASSERT_EQ(LoadBytes(Bytes(ReadWholeFile(Path("out.img"))), image), 0);
    ASSERT_EQ(ValidateImage(image), 0);
    EXPECT_STREQ(image.UpdatedDescription, "Built by a test");
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        EXPECT_STREQ(segment.revision, revisions[position]);
        EXPECT_EQ(segment.length, payloads[position].size() + 16);
        EXPECT_TRUE(std::equal(payloads[position].begin(), payloads[position].end(),
                               segment.data.begin() + 20));
    }
    const ProgramRun show = Run({"show", Path("out.img")});
    std::uint32_t sum = 0;
    ASSERT_TRUE(SegmentChecksum(image.segments[3], sum));
    EXPECT_NE(show.out.find(FormatText("0x%08X (%d)", sum, static_cast<std::int32_t>(sum))),
              std::string::npos)
        << show.out;
}

// The owner of files the tests replace as another user: nobody when the tests run as root
// (as CI does), else the user running them.
const uid_t USER = geteuid() == 0 ? 65534 : geteuid();
const gid_t GROUP = geteuid() == 0 ? 65534 : getegid();

void BecomeOrdinaryUser() {
    if (geteuid() == 0 && (setgroups(0, nullptr) != 0 || setgid(GROUP) != 0 || setuid(USER) != 0))
        _exit(126);
}

bool HasTemporaryFile(const std::filesystem::path& folder) {
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        if (entry.path().filename().string().starts_with("."))
            return true;
    return false;
}

struct stat StatOf(const std::string& path) {
    struct stat status {};
    lstat(path.c_str(), &status);
    return status;
}

// The output is written beside its place and renamed into it. What is replaced keeps its
// owner, group and permissions; what the builder may not write in place, what has other
// names, and what is not a regular file are left as they were, without a temporary file.
TEST_F(ImageTool, BuildReplacesOnlyWhatItMayAndKeepsItsOwner) {
    const std::string shared = Path("shared");
    std::filesystem::create_directory(shared);
    chmod(shared.c_str(), 0777);
    const auto file = [&](const std::string& name, mode_t mode) {
        const std::string path = shared + "/" + name;
        Write("shared/" + name, Bytes("old"));
        EXPECT_EQ(0, chown(path.c_str(), USER, GROUP));
        EXPECT_EQ(0, chmod(path.c_str(), mode));
        return path;
    };
    const std::string target = file("target.img", 0640);
    std::filesystem::create_symlink("target.img", shared + "/link.img");
    const std::string linked = file("linked.img", 0644);
    std::filesystem::create_hard_link(linked, shared + "/other-name.img");
    ASSERT_EQ(0, mkfifo((shared + "/fifo").c_str(), 0666));
    // The disk full after a few bytes, as a file size limit makes it.
    const auto fullDisk = [] {
        BecomeOrdinaryUser();
        std::signal(SIGXFSZ, SIG_IGN);
        const rlimit limit{4096, 4096};
        setrlimit(RLIMIT_FSIZE, &limit);
    };
    struct Case {
        std::string output;
        std::function<void()> runAs; // none: as the tests run, when that is root
        int exitCode;
        const char* message;
        std::string changed; // the file that gets the new bytes; its owner and mode stay
    } cases[] = {
        {shared + "/link.img", BecomeOrdinaryUser, 0, "", target},
        {file("read-only.img", 0444), BecomeOrdinaryUser, 73, "you may not write it", ""},
        {linked, BecomeOrdinaryUser, 73, "it has 2 hard links", ""},
        {shared + "/fifo", BecomeOrdinaryUser, 73, "not a regular file", ""},
        {file("full.img", 0644), fullDisk, 73, "cannot write: File too large", ""},
        {file("users.img", 04700), nullptr, 0, "", shared + "/users.img"},
        {shared + "/new.img", BecomeOrdinaryUser, 0, "", shared + "/new.img"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.output);
        if (!c.runAs && geteuid() != 0)
            continue;
        struct stat before = StatOf(c.changed.empty() ? c.output : c.changed);
        if (before.st_nlink == 0) { // a new file: the user's, as a plain create makes it
            const mode_t mask = umask(0);
            umask(mask);
            before.st_uid = USER;
            before.st_gid = GROUP;
            before.st_mode = S_IFREG | (0666 & ~mask);
        }
        const ProgramRun run = RunPrepared(
            DemoBuild(c.output), folder_.string(), c.runAs ? c.runAs : [] {});
        EXPECT_EQ(c.exitCode, run.exitCode) << run.err;
        EXPECT_NE(run.err.find(c.message), std::string::npos) << run.err;
        EXPECT_FALSE(HasTemporaryFile(shared));
        if (c.changed.empty()) {
            EXPECT_TRUE(S_ISFIFO(StatOf(c.output).st_mode) || ReadWholeFile(c.output) == "old");
            continue;
        }
        const struct stat after = StatOf(c.changed);
        EXPECT_EQ(before.st_uid, after.st_uid);
        EXPECT_EQ(before.st_gid, after.st_gid);
        EXPECT_EQ(before.st_mode, after.st_mode);
        EXPECT_TRUE(S_ISLNK(StatOf(c.output).st_mode) == (c.output != c.changed));
    }
}

// Runs the program under ptrace, stopping at the entry and the exit of every system call;
// at each stop, atStop is told the program and the call. The wait status of the program; the
// caller ignores a signal first when told so.
int Trace(const std::vector<std::string>& arguments, int ignoredSignal,
          const std::function<void(pid_t, const __ptrace_syscall_info&)>& atStop) {
    const pid_t child = StartPrepared(arguments, [&] {
        if (ignoredSignal != 0)
            std::signal(ignoredSignal, SIG_IGN);
        ptrace(PTRACE_TRACEME, 0, nullptr, nullptr);
        // LeakSanitizer's check at the end cannot run in a traced program.
        const char* options = std::getenv("ASAN_OPTIONS");
        setenv("ASAN_OPTIONS", (std::string(options ? options : "") + ":detect_leaks=0").c_str(),
               1);
        const int null = open("/dev/null", O_WRONLY);
        dup2(null, STDOUT_FILENO);
        dup2(null, STDERR_FILENO);
    });
    int status = 0, passOn = 0;
    waitpid(child, &status, 0); // the stop at its exec
    ptrace(PTRACE_SETOPTIONS, child, nullptr, PTRACE_O_TRACESYSGOOD);
    while (ptrace(PTRACE_SYSCALL, child, nullptr, passOn) == 0 &&
           waitpid(child, &status, 0) == child && WIFSTOPPED(status)) {
        const int stop = WSTOPSIG(status);
        passOn = stop == SIGTRAP || stop == (SIGTRAP | 0x80) ? 0 : stop;
        __ptrace_syscall_info call{};
        if (stop == (SIGTRAP | 0x80) &&
            ptrace(PTRACE_GET_SYSCALL_INFO, child, sizeof call, &call) > 0)
            atStop(child, call);
    }
    return status;
}

// The new bytes are on the disk before the rename, and the rename is once the folder is
// synced: a power cut leaves the old file or the new one, never an empty one. Ctrl-C, a
// hang-up or a termination request while the output is written: the program ends by the
// signal as it would have, and leaves neither its temporary file nor a changed output. A
// signal ignored by the caller (nohup) stays ignored.
TEST_F(ImageTool, BuildSyncsItsOutputOrRemovesItsTemporaryFileWhenEnded) {
    std::filesystem::create_directory(Path("out"));
    const std::vector<std::string> arguments = DemoBuild(Path("out/out.img"));
    for (const auto& [signal, ignored] : {std::pair{SIGINT, false}, std::pair{SIGHUP, false},
                                          std::pair{SIGTERM, false}, std::pair{SIGHUP, true}}) {
        SCOPED_TRACE(std::string(strsignal(signal)) + (ignored ? ", ignored" : ""));
        Write("out/out.img", Bytes("old"));
        bool sent = false;
        std::vector<std::string> calls; // the syncs' files and the renames
        const int status = Trace(arguments, ignored ? signal : 0, [&](pid_t program, auto& call) {
            if (call.op == PTRACE_SYSCALL_INFO_EXIT && !sent && HasTemporaryFile(Path("out")))
                sent = kill(program, signal) == 0;
            if (call.op != PTRACE_SYSCALL_INFO_ENTRY)
                return;
            const auto number = call.entry.nr;
            if (number == SYS_rename || number == SYS_renameat || number == SYS_renameat2)
                calls.push_back("rename");
            if (number == SYS_fsync || number == SYS_fdatasync)
                calls.push_back(std::filesystem::read_symlink(
                                    FormatText("/proc/%d/fd/%llu", program,
                                               static_cast<unsigned long long>(call.entry.args[0])))
                                    .string());
        });
        EXPECT_TRUE(ignored ? WIFEXITED(status) && WEXITSTATUS(status) == 0
                            : WIFSIGNALED(status) && WTERMSIG(status) == signal)
            << status;
        EXPECT_EQ(ReadWholeFile(Path("out/out.img")) == "old", !ignored);
        EXPECT_FALSE(HasTemporaryFile(Path("out")));
        if (ignored) {
            ASSERT_EQ(3u, calls.size()) << testing::PrintToString(calls);
            EXPECT_TRUE(calls[0].starts_with(Path("out/.out.img."))) << calls[0];
            EXPECT_EQ("rename", calls[1]);
            EXPECT_EQ(Path("out"), calls[2]);
        }
    }
}

// The last catch: memory exhausted while a file is built ends the program with 70 and a line
// that says so, not with an abort.
TEST_F(ImageTool, ExhaustedMemoryEndsWith70AndAMessage) {
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    GTEST_SKIP() << "the sanitizers need more address space than the limit leaves";
#endif
    const auto limited = [&](rlim_t bytes, const std::vector<std::string>& arguments) {
        return RunPrepared(arguments, folder_.string(), [bytes] {
            const rlimit limit{bytes, bytes};
            setrlimit(RLIMIT_AS, &limit);
        });
    };
    // The least address space in which the program starts and answers: building a file
    // needs more than that, for its payloads and its bytes.
    rlim_t enough = rlim_t{1} << 30, tooLittle = 0;
    ASSERT_EQ(0, limited(enough, {TQ4800_IMAGE_TOOL, "--version"}).exitCode);
    while (enough - tooLittle > (16u << 10)) {
        const rlim_t middle = (enough + tooLittle) / 2;
        (limited(middle, {TQ4800_IMAGE_TOOL, "--version"}).exitCode == 0 ? enough : tooLittle) =
            middle;
    }
    const ProgramRun run = limited(enough, DemoBuild(Path("out.img")));
    EXPECT_EQ(70, run.exitCode);
    EXPECT_EQ("tq4800-image: stopped by an unexpected error: out of memory (std::bad_alloc)\n",
              run.err);
    EXPECT_FALSE(std::filesystem::exists(Path("out.img")));
}
} // namespace
