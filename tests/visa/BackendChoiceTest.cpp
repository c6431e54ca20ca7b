// TQ4800_VISA naming a VISA library: the simulated bench built as one, and libraries that
// cannot serve.

#include "link/visa/BackendFactory.h"
#include "link/visa/Dispatch.h"
#include "sim/BenchFixture.h"
#include "tests/visa/SessionScenario.h"

#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <unistd.h>

namespace {

std::vector<std::string> LinesOf(const std::string& path) {
    std::vector<std::string> lines;
    std::ifstream file(path);
    for (std::string line; std::getline(file, line);)
        lines.push_back(line);
    return lines;
}

class BackendChoice : public ::testing::Test {
protected:
    ~BackendChoice() override {
        visa::InstallBackend(nullptr);
        unsetenv("TQ4800_VISA");
        unsetenv("TQ4800_SIM_TRACE");
    }
    bool Choose(const std::string& value) {
        setenv("TQ4800_VISA", value.c_str(), 1);
        return visa::InstallBackendFromEnvironment();
    }
};

TEST_F(BackendChoice, SimulatorAsAVendorLibraryGivesTheSimBackendsTranscript) {
    std::vector<std::string> direct;
    {
        SimulatedBench bench;
        ConnectIdentifySwitchReconnect(bench.clock);
        direct = bench.Trace();
    }
    const std::string trace =
        ::testing::TempDir() + "tq4800-simvisa-trace-" + std::to_string(getpid()) + ".txt";
    std::remove(trace.c_str());
    setenv("TQ4800_SIM_TRACE", trace.c_str(), 1);
    ASSERT_TRUE(Choose(SIM_VISA_LIBRARY));
    // The library's bench runs on the wall clock: the switch takes a real reboot.
    ConnectIdentifySwitchReconnect(SystemClock());
    visa::InstallBackend(nullptr); // unloads the library
    EXPECT_EQ(direct, LinesOf(trace));
    std::remove(trace.c_str());
}

TEST_F(BackendChoice, LibraryThatCannotServeIsReportedAndNothingIsFound) {
    struct Case {
        std::string value;
        std::string message;
    };
    const Case cases[] = {
        {FAKE_VISA_WITHOUT_READ_LIBRARY, "lacks the function viRead"},
        {"/nonexistent/libvisa.so", "VISA library /nonexistent/libvisa.so not available: "},
    };
    for (const Case& c : cases) {
        ::testing::internal::CaptureStderr();
        EXPECT_FALSE(Choose(c.value));
        const std::string said = ::testing::internal::GetCapturedStderr();
        EXPECT_NE(std::string::npos, said.find(c.message)) << said;
        EXPECT_EQ('\n', said.back()) << "one whole line";

        FakeDeviceList devices;
        devices.AddString("stale");
        InstrumentSession session(devices);
        session.OpenResourceManager();
        EXPECT_EQ(0, session.FindInstruments()) << c.value;
        EXPECT_TRUE(devices.items.empty());
        session.CloseResourceManager();
    }
}

} // namespace
