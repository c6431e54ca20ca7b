#include "ImageTestFiles.h"
#include "fakes/ProgramRun.h"
#include "image/Checksum.h"
#include "image/FormatText.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <functional>
#include <gtest/gtest.h>
#include <sys/stat.h>

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
};

struct CheckCase {
    const char* label;
    std::function<std::vector<std::uint8_t>()> file;
    int exitCode;
};

std::vector<std::uint8_t> Changed(const std::function<void(ImageContents&)>& change) {
    ImageContents contents = AcceptedContents();
    change(contents);
    return WriteImageFile(contents);
}

const CheckCase CHECK_CASES[] = {
    {"accepted", [] { return Changed([](ImageContents&) {}); }, 0},
    {"newer utility", [] { return Changed([](ImageContents& c) { c.header.utilityRev = "2"; }); },
     21},
    {"value too long", [] { return Bytes("#ImageRev=" + std::string(16, '1') + "\n"); }, 20},
    {"cut short",
     [] {
         auto bytes = WriteImageFile(AcceptedContents());
         bytes.resize(bytes.size() - 10);
         return bytes;
     },
     19},
};

TEST_F(ImageTool, CheckExitsWithTheWindowsResult) {
    for (const CheckCase& test : CHECK_CASES) {
        SCOPED_TRACE(test.label);
        const auto bytes = test.file();
        ImageInfo image;
        const StatusCode loaded = LoadBytes(bytes, image);
        ASSERT_EQ(loaded != 0 ? loaded : ValidateImage(image), test.exitCode);
        const ProgramRun run = Run({"check", Write("case.img", bytes)});
        EXPECT_EQ(run.exitCode, test.exitCode);
        EXPECT_EQ(run.out, "");
        if (test.exitCode == 0) {
            EXPECT_EQ(run.err, "");
        } else {
            EXPECT_NE(run.err.find(std::string(StatusText(test.exitCode))), std::string::npos);
            EXPECT_NE(run.err.find("Error number: " + std::to_string(test.exitCode)),
                      std::string::npos)
                << run.err;
        }
        EXPECT_EQ(Run({"show", Path("case.img")}).exitCode, test.exitCode);
    }
}

// Anything but a regular file is refused at once, even a FIFO without a writer; "--" lets a
// file name begin with "-".
TEST_F(ImageTool, FilesThatCannotBeOpenedGive66) {
    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    Write("-accepted.img", WriteImageFile(AcceptedContents()));
    const std::pair<std::vector<std::string>, int> cases[] = {
        {{"check", Path("missing.img")}, 66},  {{"show", folder_.string()}, 66},
        {{"check", "/dev/zero"}, 66},          {{"show", Path("fifo")}, 66},
        {{"check", "--", "-accepted.img"}, 0},
    };
    for (const auto& [arguments, exitCode] : cases) {
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << testing::PrintToString(arguments);
        if (exitCode == 66) {
            EXPECT_TRUE(run.err.ends_with(": Can't open file.\n")) << run.err;
        }
    }
}

// Text from a file reaches the terminal escaped, in messages as in the listing.
TEST_F(ImageTool, TextFromTheFileIsEscaped) {
    const std::string file =
        Write("escape.img",
              Changed([](ImageContents& c) { c.header.modelName = "TQ\033[2J\033]0;X\a4800"; }));
    for (const char* command : {"check", "show"}) {
        const ProgramRun run = Run({command, file});
        EXPECT_EQ(run.exitCode, 19);
        EXPECT_EQ((run.out + run.err).find_first_of("\033\a"), std::string::npos) << run.err;
        EXPECT_NE((run.out + run.err).find("\\x1B[2J"), std::string::npos) << command;
    }
}

TEST_F(ImageTool, WrongArgumentsGive64AndHelpDocumentsTheCodes) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {}, {"frob"}, {"check"}, {"check", ""}, {"build", "-o"}, {"build", "--bogus", "x"}}) {
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, 64) << testing::PrintToString(arguments);
        EXPECT_NE(run.err.find("tq4800-image: "), std::string::npos);
    }
    const ProgramRun help = Run({"--help"});
    EXPECT_EQ(help.exitCode, 0);
    for (const char* code : {" 0 ", "19", "20", "21", "64", "65", "66", "73"})
        EXPECT_NE(help.out.find(code), std::string::npos) << code;
}

TEST_F(ImageTool, BuildWritesThePayloadsIntoAnAcceptedFile) {
    std::vector<std::string> arguments = BuildArguments(Path("built.img"));
    std::vector<std::vector<std::uint8_t>> payloads;
    const char* revisions[] = {"03", "04", "05", "1.11", "1.12"};
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        payloads.emplace_back(100 + position * 33, static_cast<std::uint8_t>(position + 1));
        const std::string payload = Write(FormatText("payload:%d.bin", position), payloads.back());
        arguments.push_back(std::string(FileSegmentKind(position).name) + "=" + payload + ":" +
                            revisions[position]);
    }
    ASSERT_EQ(Run(arguments).exitCode, 0);
    ImageInfo image;
    ASSERT_EQ(LoadBytes(Bytes(ReadWholeFile(Path("built.img"))), image), 0);
    ASSERT_EQ(ValidateImage(image), 0);
    EXPECT_STREQ(image.UpdatedDescription, "Built by a test");
    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        const SegmentImage& segment = image.segments[position];
        EXPECT_STREQ(segment.revision, revisions[position]);
        EXPECT_EQ(segment.length, payloads[position].size() + 16);
        EXPECT_TRUE(std::equal(payloads[position].begin(), payloads[position].end(),
                               segment.data.begin() + 20));
    }
    const ProgramRun show = Run({"show", Path("built.img")});
    std::uint32_t sum = 0;
    ASSERT_TRUE(SegmentChecksum(image.segments[3], sum));
    EXPECT_NE(show.out.find(FormatText("0x%08X (%d)", sum, static_cast<std::int32_t>(sum))),
              std::string::npos)
        << show.out;
}

// A payload too large for its region (a device without end too) and a revision the update
// would refuse are refused before anything is written.
TEST_F(ImageTool, BuildFailuresHaveTheirOwnCodes) {
    const std::string small = Write("small.bin", {1, 2, 3});
    const std::string large = Write("large.bin", std::vector<std::uint8_t>(0x10000 - 21));
    const auto build = [&](int position, const std::string& segment) {
        std::vector<std::string> arguments = BuildArguments(Path("out.img"));
        const char* revisions[] = {"01", "01", "01", "1.01", "1.01"};
        for (int other = 0; other < SEGMENT_COUNT; ++other)
            arguments.push_back(std::string(FileSegmentKind(other).name) + "=" + small + ":" +
                                revisions[other]);
        if (position >= 0)
            arguments[arguments.size() - SEGMENT_COUNT + position] = segment;
        return arguments;
    };
    std::vector<std::string> missingSegment = build(-1, "");
    missingSegment.pop_back();
    std::vector<std::string> noFolder = BuildArguments(Path("no/such/folder.img"));
    noFolder.push_back("--demo");
    const std::pair<std::vector<std::string>, int> cases[] = {
        {build(-1, ""), 0},
        {build(0, "FPGA1=" + large + ":01"), 65},
        {build(1, "FPGA2=/dev/zero:01"), 65},
        {build(1, "FPGA2=" + small + ":XX"), 65},
        {build(3, "MAIN=" + small + ":110"), 65},
        {build(4, "HTTP=" + small + ":1.1"), 65},
        {build(0, "FPGA1=" + Path("missing.bin") + ":01"), 66},
        {missingSegment, 64},
        {noFolder, 73},
    };
    for (const auto& [arguments, exitCode] : cases) {
        std::filesystem::remove(Path("out.img"));
        const ProgramRun run = Run(arguments);
        EXPECT_EQ(run.exitCode, exitCode) << run.err;
        EXPECT_EQ(std::filesystem::exists(Path("out.img")), exitCode == 0) << run.err;
    }
}

// The output is written beside its place and renamed into it: a symlink stays and leads to
// the new file, and what is not a regular file is left as it was.
TEST_F(ImageTool, BuildReplacesOnlyRegularFiles) {
    std::vector<std::string> arguments = BuildArguments(Path("link.img"));
    arguments.push_back("--demo");
    Write("target.img", Bytes("old"));
    std::filesystem::create_symlink("target.img", Path("link.img"));
    ASSERT_EQ(Run(arguments).exitCode, 0);
    EXPECT_TRUE(std::filesystem::is_symlink(Path("link.img")));
    EXPECT_EQ(Run({"check", Path("target.img")}).exitCode, 0);

    ASSERT_EQ(0, mkfifo(Path("fifo").c_str(), 0600));
    arguments[2] = Path("fifo");
    EXPECT_EQ(Run(arguments).exitCode, 73);
    EXPECT_TRUE(std::filesystem::is_fifo(Path("fifo")));
    EXPECT_EQ(std::filesystem::directory_iterator(folder_)->path().string().find(".fifo."),
              std::string::npos);
}
} // namespace
