#include "ImageTestFiles.h"
#include "fakes/ProgramRun.h"
#include "image/Checksum.h"
#include "image/FormatText.h"
#include "image/SegmentCatalogue.h"
#include "image/ValidateImage.h"

#include <functional>
#include <gtest/gtest.h>

namespace {
class ImageTool : public TempFolderTest {
protected:
    ProgramRun Run(const std::vector<std::string>& arguments) {
        std::string command = ShellWord(TQ4800_IMAGE_TOOL);
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

StatusCode WindowResult(const std::vector<std::uint8_t>& bytes) {
    ImageInfo image;
    const StatusCode loaded = LoadBytes(bytes, image);
    return loaded != 0 ? loaded : ValidateImage(image);
}

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
        ASSERT_EQ(WindowResult(bytes), test.exitCode);
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

TEST_F(ImageTool, FilesThatCannotBeOpenedGive66) {
    EXPECT_EQ(Run({"check", Path("missing.img")}).exitCode, 66);
    EXPECT_EQ(Run({"show", folder_.string()}).exitCode, 66);
}

TEST_F(ImageTool, WrongArgumentsGive64AndHelpDocumentsTheCodes) {
    for (const std::vector<std::string>& arguments : std::vector<std::vector<std::string>>{
             {}, {"frob"}, {"check"}, {"build", "-o"}, {"build", "--bogus", "x"}}) {
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

TEST_F(ImageTool, BuildFailuresHaveTheirOwnCodes) {
    std::vector<std::string> tooLarge = BuildArguments(Path("large.img"));
    const std::string small = Write("small.bin", {1, 2, 3});
    const std::string large = Write("large.bin", std::vector<std::uint8_t>(0x10000 - 21));
    for (int position = 0; position < SEGMENT_COUNT; ++position)
        tooLarge.push_back(std::string(FileSegmentKind(position).name) + "=" +
                           (position == 0 ? large : small) + ":01");
    EXPECT_EQ(Run(tooLarge).exitCode, 65);

    std::vector<std::string> missingPayload = tooLarge;
    missingPayload[missingPayload.size() - 5] = "FPGA1=" + Path("missing.bin") + ":01";
    EXPECT_EQ(Run(missingPayload).exitCode, 66);

    std::vector<std::string> missingSegment = tooLarge;
    missingSegment.pop_back();
    EXPECT_EQ(Run(missingSegment).exitCode, 64);

    std::vector<std::string> unwritable = BuildArguments(Path("no/such/folder.img"));
    unwritable.push_back("--demo");
    EXPECT_EQ(Run(unwritable).exitCode, 73);
}
} // namespace
