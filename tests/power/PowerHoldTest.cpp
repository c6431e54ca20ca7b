// The PC held awake through a real dbus-daemon on a bus of the test's own, with a stand-in
// logind: the lock is asked for when the flash phase starts, with the instrument's name, and
// its descriptor is closed when the run ends, whether it completed or failed. Without logind
// or without a bus, or with either never answering, the update completes within the hold's
// bound and the note says the PC is not held awake.

#include "fakes/ProgramRun.h"
#include "power/LogindPowerHold.h"
#include "update/UpdateRig.h"

#include <chrono>
#include <csignal>
#include <cstdlib>
#include <gtest/gtest.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <thread>

namespace {

using sim::FaultKind;

const std::string LOCK = "inhibit sleep:shutdown:handle-lid-switch|TQ4800 firmware update|"
                         "The firmware of USB0::0x1D7A::0x52C1::TW00012345::INSTR is being "
                         "written|block\n";

const std::string NOT_HELD = "the PC is not held awake during the update (";

// Waits for a helper that was just started, at most five seconds.
bool Eventually(const std::function<bool()>& condition) {
    for (int tries = 0; tries < 500; ++tries) {
        if (condition())
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    return false;
}

// Starts a helper and waits until it is ready; stopped, it never reads or answers again. It
// is killed with the test, also when the test crashes.
pid_t StartStopped(const std::vector<std::string>& arguments, const std::function<bool()>& ready,
                   bool stopped) {
    const pid_t helper = StartPrepared(arguments, [] { prctl(PR_SET_PDEATHSIG, SIGKILL); });
    EXPECT_TRUE(Eventually(ready)) << arguments[0] << " did not start";
    if (stopped)
        kill(helper, SIGSTOP);
    return helper;
}

// The system bus: none, a dbus-daemon stopped once it listens (connections queue and are
// never answered), one that refuses every client's authentication, a working dbus-daemon.
enum class Bus { None, Stopped, Refusing, Daemon };
// logind on the bus: none, the stand-in stopped once it owns its name, the stand-in.
enum class Logind { None, Stopped, Answering };

struct PowerCase {
    const char* label;
    Bus bus;
    Logind logind;
    bool flashFails;
    const char* reason; // why the PC is not held awake; empty: the lock was had
};

const PowerCase POWER_CASES[] = {
    {"completed", Bus::Daemon, Logind::Answering, false, ""},
    {"failed", Bus::Daemon, Logind::Answering, true, ""},
    {"no logind", Bus::Daemon, Logind::None, false,
     "logind refused or is missing: The name org.freedesktop.login1 was not provided"},
    {"logind never answers", Bus::Daemon, Logind::Stopped, false, "logind did not answer in time"},
    {"no bus", Bus::None, Logind::None, false, "no system bus: "},
    {"bus refuses", Bus::Refusing, Logind::None, false, "the system bus refused the connection: "},
    {"bus never answers", Bus::Stopped, Logind::None, false,
     "the system bus did not answer in time"},
};

class PowerHoldOverDBus : public TempFolderTest, public testing::WithParamInterface<PowerCase> {
protected:
    void SetUp() override {
        TempFolderTest::SetUp();
        const std::string path = Path("system_bus_socket");
        setenv("DBUS_SYSTEM_BUS_ADDRESS", ("unix:path=" + path).c_str(), 1);
        if (GetParam().bus == Bus::None)
            return;
        const char* auth = GetParam().bus == Bus::Refusing ? "ANONYMOUS" : "EXTERNAL";
        Write("bus.conf", Bytes("<busconfig><type>system</type><listen>unix:path=" + path +
                                "</listen><auth>" + auth +
                                "</auth><policy context=\"default\">"
                                "<allow user=\"*\"/><allow own=\"*\"/><allow send_type=\"*\"/>"
                                "<allow receive_type=\"*\"/></policy></busconfig>\n"));
        bus_ = StartStopped(
            {"/usr/bin/dbus-daemon", "--nofork", "--config-file=" + Path("bus.conf")},
            [&] { return std::filesystem::exists(path); }, GetParam().bus == Bus::Stopped);
        if (GetParam().bus != Bus::Daemon || GetParam().logind == Logind::None)
            return;
        logind_ = StartStopped(
            {TQ4800_STAND_IN_LOGIND, Path("calls")}, [&] { return Calls().starts_with("ready\n"); },
            GetParam().logind == Logind::Stopped);
    }
    void TearDown() override {
        for (pid_t helper : {logind_, bus_}) {
            if (helper > 0) {
                kill(helper, SIGKILL);
                waitpid(helper, nullptr, 0);
            }
        }
        TempFolderTest::TearDown();
    }
    std::string Calls() const { return ReadWholeFile(Path("calls")); }

private:
    pid_t bus_ = -1;
    pid_t logind_ = -1;
};

TEST_P(PowerHoldOverDBus, HoldsThePcWhileTheFlashRuns) {
    const PowerCase& row = GetParam();
    std::vector<std::string> notes;
    OnceNotice notice([&](const std::string& text) { notes.push_back(text); });
    LogindPowerHold hold(notice);
    std::vector<sim::Fault> faults;
    if (row.flashFails)
        faults.push_back({FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0});
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Normal, faults)}});
    rig.sequence.SetPowerHold(&hold);
    std::string callsWhenAsked, callsWhenFlashing;
    rig.boxes.onShow = [&] {
        if (callsWhenAsked.empty())
            callsWhenAsked = Calls() + "-";
    };
    rig.pump.onPump = [&] {
        if (callsWhenFlashing.empty()) {
            // Time for logind to see a lock whose descriptor was closed already.
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
            callsWhenFlashing = Calls() + "-";
        }
    };

    const auto start = std::chrono::steady_clock::now();
    EXPECT_EQ(row.flashFails ? STATUS_PROGRAM_FAILED : STATUS_COMPLETE, rig.Run().status);
    // The hold gives up after 2 s, whatever the bus does (sd-bus's own waits are 90 s for
    // the connection and 25 s for a call); the simulated update itself takes no time.
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(4));
    EXPECT_FALSE(hold.Holding());
    if (row.reason[0] != '\0') {
        ASSERT_EQ(1u, notes.size());
        EXPECT_TRUE(notes[0].starts_with(NOT_HELD + row.reason)) << notes[0];
        EXPECT_TRUE(notes[0].ends_with("); the update runs on")) << notes[0];
        EXPECT_EQ(CompletedLog(), rig.log.text());
        return;
    }
    EXPECT_TRUE(notes.empty()) << notes[0];
    EXPECT_EQ("ready\n-", callsWhenAsked);
    EXPECT_EQ("ready\n" + LOCK + "-", callsWhenFlashing);
    EXPECT_TRUE(Eventually([&] { return Calls() == "ready\n" + LOCK + "released\n"; })) << Calls();
}

INSTANTIATE_TEST_SUITE_P(EveryBus, PowerHoldOverDBus, testing::ValuesIn(POWER_CASES),
                         LabelName<PowerCase>);

} // namespace
