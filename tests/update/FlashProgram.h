#pragma once

// tq4800-flash run as a program, in a folder of its own that holds the demo firmware file
// tq4800-image builds.

#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"

class FlashProgramTest : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        ASSERT_EQ(0, MakeDemoFile(demoFile, "1.0.0"));
    }
    int MakeDemoFile(const std::string& path, const char* utilityRev) {
        return RunCommand(ShellWord(TQ4800_IMAGE_PROGRAM) + " build --demo -o " + ShellWord(path) +
                              " --model TQ4800 --image-rev 1.10 --utility-rev " + utilityRev,
                          folder_.string())
            .exitCode;
    }

    const std::string demoFile = Path("demo.bin");
};
