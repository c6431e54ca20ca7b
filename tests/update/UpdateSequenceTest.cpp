// The update sequence end to end on the simulated instrument: what the operator sees, what
// goes over the wire, what the instrument's flash holds afterwards.

#include "UpdateRig.h"

#include <algorithm>
#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(UpdateSequence, CompletesAWholeUpdateWaitingOnlyWhereItMust) {
    UpdateRig rig;
    std::optional<sim::Mode> modeWhenHeld;
    rig.power.onHold = [&] { modeWhenHeld = rig.bus.Device().CurrentMode(); };
    EXPECT_EQ(STATUS_COMPLETE, rig.Run().status);
    // The PC held before the switch to the loader, the buttons before the identity test, the
    // close guard from the first segment; the PC let go when the flash ends, the rest after
    // the session is closed.
    EXPECT_EQ(sim::Mode::Normal, modeWhenHeld);
    const std::string name = "USB0::0x1D7A::0x52C1::TW00012345::INSTR";
    EXPECT_EQ((std::vector<std::string>{"Hold " + name, "SetBusy", "Updating=1", "Release",
                                        "ClearBusy", "Updating=0"}),
              rig.busy.events);
    EXPECT_EQ((std::vector<std::string>{"start " + name, "confirmed",
                                        "revision 1.05  A  01 01 01 1.05", "segment 0", "segment 1",
                                        "segment 2", "segment 3", "segment 4", "end 0"}),
              rig.journal.events);
    EXPECT_EQ(1, std::count(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 2500u));
    EXPECT_EQ((std::vector<ViUInt32>{1000, 1000, 1000}), rig.faults->OpenTimeouts());
    EXPECT_TRUE(std::all_of(rig.clock.sleeps.begin(), rig.clock.sleeps.end(),
                            [](std::uint32_t ms) { return ms == 0 || ms == 10 || ms == 2500; }));
    ExpectRunEndedCleanly(rig);
}

// The Device list is filled anew by every search; the remembered text picks the instrument
// again when one begins with it, else the first in order is updated.
TEST(UpdateSequence, UpdatesTheSelectedInstrumentOnly) {
    struct Case {
        std::vector<const char*> serials;
        std::string remembered;
        const char* chosen;
    } cases[] = {
        {{"TW00000003", "TW00000001", "TW00000002"}, "", "TW00000001"},
        {{"TW00000001", "TW00000002", "TW00000003"},
         "usb0::0x1d7a::0x52c1::tw00000002",
         "TW00000002"},
        {{"TW00000002", "TW00000001"}, sim::ResourceNameOf("TW00000009"), "TW00000001"},
    };
    for (const Case& c : cases) {
        sim::BenchConfig bench;
        for (const char* serial : c.serials)
            bench.instruments.push_back(Instrument(serial));
        UpdateRig rig(bench);
        if (!c.remembered.empty()) {
            rig.devices.AddString(c.remembered);
            rig.devices.selected = 0;
        }
        EXPECT_EQ(STATUS_COMPLETE, rig.Run().status) << c.chosen;
        EXPECT_EQ(sim::ResourceNameOf(c.chosen), rig.devices.CurrentText());
        EXPECT_TRUE(rig.boxes.shown.at(0).text.ends_with(" SN:" + std::string(c.chosen) + "?"));
        for (std::size_t i = 0; i < c.serials.size(); ++i)
            EXPECT_EQ(c.serials[i] == std::string(c.chosen), rig.Flash(0, i) != nullptr) << i;
    }
}

// An instrument already in its loader is not switched; a failed first identity read is not
// reported, the second query decides.
TEST(UpdateSequence, TheIdentityDecidesWhetherToSwitch) {
    struct Case {
        sim::Mode mode;
        std::vector<FaultyVisa::Rule> rules;
        StatusCode status;
    } cases[] = {
        {sim::Mode::Loader, {}, STATUS_COMPLETE},
        {sim::Mode::Loader, {{FaultyVisa::Call::Read, "*IDN?", 1, VI_ERROR_IO}}, STATUS_COMPLETE},
        {sim::Mode::Normal,
         {{FaultyVisa::Call::Read, "*IDN?", 1, VI_ERROR_TMO}},
         STATUS_NOT_COMPLETE},
    };
    for (const Case& c : cases) {
        UpdateRig rig({{Instrument(SERIAL, c.mode)}}, c.rules);
        EXPECT_EQ(c.status, rig.Run().status);
        if (c.status == STATUS_COMPLETE) {
            EXPECT_EQ(CompletedLog(false), rig.log.text());
        }
        for (const FaultyVisa::Attempt& write : rig.faults->Writes())
            EXPECT_FALSE(std::string(write.bytes.begin(), write.bytes.end()).starts_with("syst:"));
        EXPECT_EQ(0, std::count(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 2500u));
        ExpectRunEndedCleanly(rig);
    }
}

TEST(UpdateSequence, SerialNumberStartsAtTheFirstTW) {
    EXPECT_EQ("TW12", SerialNumberOf("USB0::TW12"));
    EXPECT_EQ("USB0::0x1D", SerialNumberOf("USB0::0x1D7A::0x52C1::XY00012345::INSTR"));
    EXPECT_EQ("", SerialNumberOf(""));
}

} // namespace
