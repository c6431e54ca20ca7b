// TQ4800_VISA naming a VISA library: the simulated bench built as one (a whole update
// through it), and libraries that cannot serve.

#include "backend/BackendFactory.h"
#include "fakes/ProgramRun.h"
#include "link/visa/Dispatch.h"
#include "sim/BenchFile.h"
#include "sim/BenchFixture.h"
#include "tests/visa/UpdateScenario.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <tuple>

namespace {

// One instrument that reboots and flashes without delay: the library's bench runs on the
// wall clock while the utility sleeps on a fake one.
constexpr const char* kQuickBench = "instrument TW00012345\nreboot-ms 0\nflash-line-ms 0\n";

class BackendChoice : public TempFolderTest {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        Write("bench.conf", Bytes(kQuickBench));
    }
    void TearDown() override {
        visa::InstallBackend(nullptr);
        for (const char* name : {"TQ4800_VISA", "TQ4800_SIM", "TQ4800_SIM_TRACE"})
            unsetenv(name);
        TempFolderTest::TearDown();
    }
    bool Choose(const std::string& value) {
        setenv("TQ4800_VISA", value.c_str(), 1);
        return visa::InstallBackendFromEnvironment();
    }

    const std::string benchPath = Path("bench.conf");
    const std::string tracePath = Path("trace.txt");
};

TEST_F(BackendChoice, WholeUpdateThroughTheLibraryMatchesTheSimBackend) {
    const ImageInfo image = SmallFirmwareImage();
    sim::BenchConfig quick;
    std::string error;
    ASSERT_TRUE(sim::LoadBenchFile(benchPath, quick, error)) << error;
    UpdateRecord direct;
    std::vector<std::string> directTrace;
    {
        SimulatedBench bench(quick);
        direct = PressUpdate(image, bench.clock);
        directTrace = bench.Trace();
    }
    ASSERT_EQ(STATUS_COMPLETE, direct.outcome.status) << direct.log;

    // The simulated library with the quick bench, its transcript going to tracePath.
    setenv("TQ4800_SIM", benchPath.c_str(), 1);
    setenv("TQ4800_SIM_TRACE", tracePath.c_str(), 1);
    ASSERT_TRUE(Choose(SIM_VISA_LIBRARY));
    FakeClock clock;
    const UpdateRecord loaded = PressUpdate(image, clock);
    EXPECT_EQ(direct.outcome.status, loaded.outcome.status);
    EXPECT_EQ(direct.log, loaded.log);
    EXPECT_EQ(directTrace, Lines(ReadWholeFile(tracePath)))
        << "the same bytes reached the instrument's flash";

    // ViAttrState is 64 bits wide: a time-out past 32 bits, which the bench refuses, would
    // reach it cut to 0 ms (and be accepted) were the call forwarded with a 32-bit state.
    ViSession rm = 0, vi = 0;
    ASSERT_EQ(VI_SUCCESS, visa::viOpenDefaultRM(&rm));
    ASSERT_EQ(VI_SUCCESS, visa::viOpen(rm, sim::ResourceNameOf(SERIAL).c_str(), 0, 1000, &vi));
    EXPECT_EQ(VI_ERROR_NSUP_ATTR_STATE,
              visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, ViAttrState{1} << 32));
    EXPECT_EQ(VI_SUCCESS, visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000));
}

TEST_F(BackendChoice, BackendThatCannotServeIsReportedAndNothingIsFound) {
    // TQ4800_VISA, the bench file, the start of what is said.
    const std::tuple<std::string, std::string, std::string> cases[] = {
        {"/nonexistent/libvisa.so", kQuickBench,
         "VISA library /nonexistent/libvisa.so not available: "},
        {"sim", "instrument TW1\nmode dreaming\n",
         "VISA backend sim not available: bench file " + benchPath +
             " line 2: bad setting \"mode dreaming\"\n"},
    };
    setenv("TQ4800_SIM", benchPath.c_str(), 1);
    for (const auto& [value, bench, message] : cases) {
        std::ofstream(benchPath) << bench;
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Choose(value));
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_EQ(message, said.substr(0, message.size())) << value;
        EXPECT_EQ('\n', said.back()) << "one whole line";
        // No backend: every call fails, and no output is left holding a stale handle.
        ViSession rm = 1234, vi = 7;
        ViFindList list = 99;
        ViUInt32 count = 99;
        char desc[VI_FIND_BUFLEN] = {};
        EXPECT_LT(visa::viOpenDefaultRM(&rm), 0);
        EXPECT_LT(visa::viFindRsrc(rm, "?*", &list, &count, desc), 0);
        EXPECT_LT(visa::viOpen(rm, sim::ResourceNameOf(SERIAL).c_str(), 0, 1000, &vi), 0);
        EXPECT_NE(VI_SUCCESS, visa::viClose(0));
        EXPECT_EQ((std::vector<ViUInt32>{0, 0, 0, 0}),
                  (std::vector<ViUInt32>{rm, list, count, vi}));
    }
}

} // namespace
