#include "link/visa/BackendFactory.h"

#include "link/visa/Dispatch.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

// Sets environment variables for one test and restores them afterwards.
class ScopedEnvironment {
public:
    void Set(const char* name, const std::string& value) {
        const char* old = std::getenv(name);
        saved_.push_back({name, old ? std::string(old) : std::string(), old != nullptr});
        setenv(name, value.c_str(), 1);
    }
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->existed)
                setenv(it->name, it->value.c_str(), 1);
            else
                unsetenv(it->name);
        }
    }

private:
    struct Saved {
        const char* name;
        std::string value;
        bool existed;
    };
    std::vector<Saved> saved_;
};

std::string TempPath(const char* leaf) {
    return ::testing::TempDir() + leaf;
}

TEST(BackendFactory, ChoicesWithoutABackendSaySoAndGiveNone) {
    const std::pair<const char*, const char*> cases[] = {
        {"usb", "VISA backend usb not available"},
        {"/opt/visa/libvisa.so", "VISA backend /opt/visa/libvisa.so not available"},
        {"", "VISA backend not available: no VISA library and no USB backend in this build"},
    };
    for (const auto& [choice, message] : cases) {
        std::string error;
        EXPECT_EQ(nullptr, visa::CreateBackend(choice, error));
        EXPECT_EQ(message, error);
    }
}

TEST(BackendFactory, SimReadsItsBenchFileAndWritesTheTranscript) {
    std::string benchPath = TempPath("factory-bench.conf");
    std::string tracePath = TempPath("factory-trace.txt");
    std::ofstream(benchPath) << "instrument TW42\n";
    ScopedEnvironment environment;
    environment.Set("TQ4800_SIM", benchPath);
    environment.Set("TQ4800_SIM_TRACE", tracePath);
    environment.Set("TQ4800_VISA", "sim");
    ASSERT_TRUE(visa::InstallBackendFromEnvironment());

    ViSession rm = 0, vi = 0;
    ASSERT_EQ(VI_SUCCESS, visa::viOpenDefaultRM(&rm));
    ASSERT_EQ(VI_SUCCESS,
              visa::viOpen(rm, "USB0::0x1D7A::0x52C1::TW42::INSTR", VI_NO_LOCK, 1000, &vi));
    ASSERT_EQ(VI_SUCCESS, visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000));
    visa::viClose(rm);
    visa::InstallBackend(nullptr);

    std::ifstream trace(tracePath);
    std::vector<std::string> lines;
    for (std::string line; std::getline(trace, line);)
        lines.push_back(line);
    EXPECT_EQ((std::vector<std::string>{"open 1 USB0::0x1D7A::0x52C1::TW42::INSTR", "tmo 1 5000",
                                        "close 1"}),
              lines);
    std::remove(benchPath.c_str());
    std::remove(tracePath.c_str());
}

TEST(BackendFactory, SimWithAnUnreadableBenchIsNotInstalled) {
    std::string benchPath = TempPath("factory-bad-bench.conf");
    std::ofstream(benchPath) << "instrument TW1\nmode dreaming\n";
    ScopedEnvironment environment;
    environment.Set("TQ4800_SIM", benchPath);
    std::string error;
    EXPECT_EQ(nullptr, visa::CreateBackend("sim", error));
    EXPECT_EQ("VISA backend sim not available: bench file " + benchPath +
                  " line 2: bad setting \"mode dreaming\"",
              error);
    std::remove(benchPath.c_str());
}

} // namespace
