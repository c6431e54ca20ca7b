// The update sequence end to end on the simulated instrument: what the operator sees, what
// goes over the wire, what the instrument's flash holds afterwards.

#include "UpdateRig.h"

#include <algorithm>
#include <gtest/gtest.h>

namespace {

const std::string NAME = sim::ResourceNameOf(SERIAL);

bool StartsWith(const std::string& text, const std::string& prefix) {
    return text.compare(0, prefix.size(), prefix) == 0;
}

int CountStartingWith(const std::vector<std::string>& texts, const std::string& prefix) {
    return static_cast<int>(std::count_if(
        texts.begin(), texts.end(), [&](const std::string& t) { return StartsWith(t, prefix); }));
}

void ExpectRunEndedCleanly(UpdateRig& rig) {
    EXPECT_EQ(0u, rig.OpenSessions());
    EXPECT_FALSE(rig.busy.busy);
    EXPECT_FALSE(rig.busy.updating);
    EXPECT_EQ(0u, rig.session.m_viInstr);
}

TEST(UpdateSequence, CompletesAWholeUpdate) {
    UpdateRig rig;
    UpdateOutcome outcome = rig.Run();

    EXPECT_TRUE(outcome.instrumentFound);
    EXPECT_EQ(STATUS_COMPLETE, outcome.status);
    EXPECT_EQ(CompletedLog(rig.image), rig.log.text());
    EXPECT_TRUE(rig.log.reported.empty());
    EXPECT_EQ("5 / 5", rig.progress.stepText);
    EXPECT_EQ(rig.progress.high, rig.progress.pos);

    ASSERT_EQ(2u, rig.boxes.shown.size());
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345?", rig.boxes.shown[0].text);
    EXPECT_EQ("Confirm Firmware Update", rig.boxes.shown[0].caption);
    EXPECT_EQ(MessageButtons::YesNo, rig.boxes.shown[0].buttons);
    EXPECT_EQ(MessageIcon::Question, rig.boxes.shown[0].icon);
    EXPECT_EQ("Update is complete.", rig.boxes.shown[1].text);
    EXPECT_EQ("Firmware Update", rig.boxes.shown[1].caption);
    EXPECT_EQ(MessageButtons::Ok, rig.boxes.shown[1].buttons);
    EXPECT_EQ(MessageIcon::Information, rig.boxes.shown[1].icon);

    for (int position = 0; position < SEGMENT_COUNT; ++position) {
        ASSERT_NE(nullptr, rig.Flash(position)) << position;
        EXPECT_EQ(rig.Record(position), *rig.Flash(position)) << position;
    }
    const sim::Revisions& revisions = rig.Device().CurrentRevisions();
    EXPECT_EQ("02", revisions.fpga1);
    EXPECT_EQ("03", revisions.fpga2);
    EXPECT_EQ("04", revisions.fpga3);
    EXPECT_EQ("1.10", revisions.main);
    EXPECT_EQ("2.01", revisions.http);

    // The busy guards: buttons disabled before the identity test, the close guard from the
    // first segment, both released only after the session is closed.
    EXPECT_EQ((std::vector<std::string>{"SetBusy", "Updating=1", "ClearBusy", "Updating=0"}),
              rig.busy.events);
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, WaitsForTheLoaderAndOtherwiseOnlyAfterFramesAndChunks) {
    UpdateRig rig;
    rig.Run();
    EXPECT_EQ(1, std::count(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 2500u));
    EXPECT_TRUE(std::all_of(rig.clock.sleeps.begin(), rig.clock.sleeps.end(),
                            [](std::uint32_t ms) { return ms == 0 || ms == 10 || ms == 2500; }));
}

TEST(UpdateSequence, ShowsTheInstrumentOnItsDisplayBeforeAsking) {
    UpdateRig rig;
    std::string shownWhenAsked;
    rig.boxes.answer = MessageAnswer::No;
    rig.boxes.onShow = [&] { shownWhenAsked = rig.Device().DisplayText(); };
    rig.Run();
    EXPECT_EQ(NAME, shownWhenAsked);
    EXPECT_EQ("DISP:TEXT \"" + NAME + "\"\n", rig.Writes().at(0));
}

TEST(UpdateSequence, NoInstrumentShowsOnlyTheBox) {
    UpdateRig rig(sim::BenchConfig{});
    rig.log.AppendLog("left from the last run");
    UpdateOutcome outcome = rig.Run();

    EXPECT_FALSE(outcome.instrumentFound);
    ASSERT_EQ(1u, rig.boxes.shown.size());
    EXPECT_EQ("No instrument found.", rig.boxes.shown[0].text);
    EXPECT_EQ("Search Instrument", rig.boxes.shown[0].caption);
    EXPECT_EQ(MessageButtons::Ok, rig.boxes.shown[0].buttons);
    EXPECT_EQ(MessageIcon::Information, rig.boxes.shown[0].icon);
    EXPECT_EQ("", rig.log.text());
    EXPECT_TRUE(rig.log.reported.empty());
    EXPECT_TRUE(rig.busy.events.empty());
    EXPECT_TRUE(rig.Writes().empty());
    EXPECT_EQ(0u, rig.OpenSessions());
}

TEST(UpdateSequence, AsksAboutTheFirstOfSeveralInstruments) {
    UpdateRig rig({{Instrument("TW00000003"), Instrument("TW00000001"), Instrument("TW00000002")}});
    rig.boxes.answer = MessageAnswer::No;
    rig.Run();
    ASSERT_FALSE(rig.boxes.shown.empty());
    EXPECT_EQ("3 instruments are Found. Are you sure you want to update TQ4800 SN:TW00000001?",
              rig.boxes.shown[0].text);
}

TEST(UpdateSequence, SelectsTheRememberedDeviceAgain) {
    UpdateRig rig({{Instrument("TW00000001"), Instrument("TW00000002"), Instrument("TW00000003")}});
    rig.devices.AddString("usb0::0x1d7a::0x52c1::tw00000002");
    rig.devices.selected = 0;
    EXPECT_EQ(STATUS_COMPLETE, rig.Run().status);
    EXPECT_EQ(sim::ResourceNameOf("TW00000002"), rig.devices.CurrentText());
    EXPECT_EQ("3 instruments are Found. Are you sure you want to update TQ4800 SN:TW00000002?",
              rig.boxes.shown.at(0).text);
    EXPECT_NE(nullptr, rig.Flash(0, 1));
    EXPECT_EQ(nullptr, rig.Flash(0, 0));
    EXPECT_EQ(nullptr, rig.Flash(0, 2));
}

TEST(UpdateSequence, FallsBackToTheFirstDeviceWhenTheRememberedOneIsGone) {
    UpdateRig rig({{Instrument("TW00000002"), Instrument("TW00000001")}});
    rig.devices.AddString(sim::ResourceNameOf("TW00000009"));
    rig.devices.selected = 0;
    rig.boxes.answer = MessageAnswer::No;
    rig.Run();
    EXPECT_EQ(sim::ResourceNameOf("TW00000001"), rig.devices.CurrentText());
}

TEST(UpdateSequence, UsesAnInstrumentAlreadyInItsLoaderAsItIs) {
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Loader)}});
    rig.Run();
    EXPECT_EQ(CompletedLog(rig.image, false), rig.log.text());
    EXPECT_EQ(0, CountStartingWith(rig.Writes(), "syst:update"));
    EXPECT_EQ(0, std::count(rig.clock.sleeps.begin(), rig.clock.sleeps.end(), 2500u));
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, AFirstIdentityReadFailureIsNotReported) {
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Loader)}},
                  {{FaultyVisa::Call::Read, "*IDN?", 1, VI_ERROR_IO}});
    UpdateOutcome outcome = rig.Run();
    EXPECT_EQ(STATUS_COMPLETE, outcome.status);
    EXPECT_EQ(CompletedLog(rig.image, false), rig.log.text());
    EXPECT_EQ(2, CountStartingWith(rig.Writes(), "*IDN?"));
}

// After a failed first query the second one decides, with its own code.
TEST(UpdateSequence, TheSecondIdentityQueryDecides) {
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Normal)}},
                  {{FaultyVisa::Call::Read, "*IDN?", 1, VI_ERROR_TMO}});
    UpdateOutcome outcome = rig.Run();
    EXPECT_EQ(STATUS_NOT_COMPLETE, outcome.status);
    EXPECT_EQ(std::vector<StatusCode>{STATUS_NOT_COMPLETE}, rig.log.reported);
    EXPECT_EQ(0, CountStartingWith(rig.Writes(), "syst:update"));
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, DecliningClearsTheDisplay) {
    UpdateRig rig;
    rig.boxes.answer = MessageAnswer::No;
    UpdateOutcome outcome = rig.Run();

    EXPECT_EQ(STATUS_CANCELLED, outcome.status);
    EXPECT_EQ(std::vector<StatusCode>{STATUS_CANCELLED}, rig.log.reported);
    EXPECT_EQ("DISP:TEXT:CLEAR\n", rig.Writes().back());
    EXPECT_EQ("", rig.Device().DisplayText());
    EXPECT_EQ(sim::Mode::Normal, rig.Device().CurrentMode());
    EXPECT_EQ(1u, rig.boxes.shown.size());
    EXPECT_EQ((std::vector<std::string>{"ClearBusy", "Updating=0"}), rig.busy.events);
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, AFailedThirdSegmentStopsThereAndReleasesTheCloseGuard) {
    sim::Fault eraseFails{sim::FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0};
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Normal, {eraseFails})}});
    UpdateOutcome outcome = rig.Run();

    EXPECT_EQ(STATUS_PROGRAM_FAILED, outcome.status);
    EXPECT_EQ("3 / 5", rig.progress.stepText);
    EXPECT_EQ("\r\nError number: 13", rig.log.text());
    EXPECT_NE(nullptr, rig.Flash(0));
    EXPECT_NE(nullptr, rig.Flash(1));
    EXPECT_EQ(nullptr, rig.Flash(2));
    EXPECT_EQ(nullptr, rig.Flash(3));
    EXPECT_EQ(nullptr, rig.Flash(4));
    EXPECT_EQ(1u, rig.boxes.shown.size());
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, ASecondRunStartsAgainFromTheSearch) {
    sim::Fault eraseFails{sim::FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0};
    UpdateRig rig({{Instrument(SERIAL, sim::Mode::Normal, {eraseFails})}});
    rig.Run();
    UpdateOutcome again = rig.Run();
    // The loader counts segments since it came up, so the fault is behind it now.
    EXPECT_EQ(STATUS_COMPLETE, again.status);
    EXPECT_EQ(CompletedLog(rig.image, false), rig.log.text());
    ExpectRunEndedCleanly(rig);
}

TEST(UpdateSequence, SerialNumberStartsAtTheFirstTW) {
    EXPECT_EQ("TW00012345", SerialNumberOf("USB0::0x1D7A::0x52C1::TW00012345::INSTR"));
    EXPECT_EQ("TW0001::IN", SerialNumberOf("USB0::0x1D7A::0x52C1::TW0001::INSTR"));
    EXPECT_EQ("TW12", SerialNumberOf("USB0::TW12"));
    EXPECT_EQ("USB0::0x1D", SerialNumberOf("USB0::0x1D7A::0x52C1::XY00012345::INSTR"));
    EXPECT_EQ("", SerialNumberOf(""));
}

} // namespace
