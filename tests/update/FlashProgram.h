#pragma once

// tq4800-flash run as a program, in a folder of its own that holds the demo firmware file
// tq4800-image builds.

#include "fakes/ProgramRun.h"
#include "image/ImageTestFiles.h"

// tq4800-flash on the simulated bench described by the file bench, with its update history at
// history ("off": none); further variables may stand before it.
inline std::string FlashCommand(const std::string& bench, const std::string& history = "off") {
    return "TQ4800_VISA=sim TQ4800_SIM=" + ShellWord(bench) +
           " TQ4800_HISTORY=" + ShellWord(history) + " " + ShellWord(TQ4800_FLASH_PROGRAM);
}

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
