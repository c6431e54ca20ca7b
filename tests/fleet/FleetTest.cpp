// Several instruments of one bench updated at once, each in its own thread: every update must
// be exactly the update of that instrument alone - the same outcome, the same log and the
// same bytes on the wire - and a fault of one instrument must stay its own.

#include "update/FleetConfirmation.h"
#include "update/FleetUpdate.h"
#include "update/OneInstrumentList.h"
#include "update/UpdateRig.h"

#include <array>
#include <functional>
#include <gtest/gtest.h>
#include <map>
#include <mutex>
#include <sstream>
#include <thread>

namespace {

using sim::FaultKind;

// A fake clock that keeps time per thread: each update, and the instrument it talks to, sees
// only its own waits, as on a bench of its own.
class PerThreadClock final : public Clock {
public:
    void SleepMs(std::uint32_t ms) override {
        std::lock_guard lock(lock_);
        elapsed_[std::this_thread::get_id()] += ms;
    }
    std::uint64_t NowMs() const override {
        std::lock_guard lock(lock_);
        return FakeClock().now + elapsed_[std::this_thread::get_id()];
    }

private:
    mutable std::mutex lock_;
    mutable std::map<std::thread::id, std::uint64_t> elapsed_;
};

constexpr std::array<const char*, 4> SERIALS = {"TW00000001", "TW00000002", "TW00000003",
                                                "TW00000004"};

// What one update left behind.
struct Result {
    UpdateOutcome outcome;
    std::string log;
    std::vector<std::string> wire;
};

// The lines of the sessions opened to one resource, numbered again from 1 in the order they
// were opened.
std::vector<std::string> WireOf(const std::vector<std::string>& lines, const std::string& name) {
    std::map<std::string, std::string> renumbered{{"-", "-"}}; // "-": an open that failed
    std::vector<std::string> wire;
    for (const std::string& line : lines) {
        std::istringstream words(line);
        std::string operation, session, rest;
        words >> operation >> session;
        std::getline(words, rest);
        if (operation == "open" ? rest.substr(1, name.size()) != name
                                : session == "-" || !renumbered.count(session))
            continue;
        renumbered.emplace(session, std::to_string(renumbered.size()));
        wire.push_back(operation + " " + renumbered.at(session) + rest);
    }
    return wire;
}

// A bench with its instruments updated side by side through the installed VISA backend.
struct Fleet {
    explicit Fleet(const sim::BenchConfig& config)
        : bench(std::make_shared<sim::Bench>(config, clock)), windows(config.instruments.size()) {
        visa::InstallBackend(visa::MakeSimBackend(bench));
        EXPECT_EQ(STATUS_COMPLETE, LoadBytes(WriteImageFile(TestFirmware()), image));
        EXPECT_EQ(STATUS_COMPLETE, ValidateImage(image));
    }
    ~Fleet() { visa::InstallBackend(nullptr); }

    // With a question, the members' confirmations go to it and it is told when each ends.
    std::vector<Result> Run(FleetConfirmation* question = nullptr) {
        std::vector<std::unique_ptr<FleetMemberBoxes>> asking;
        std::vector<FleetMember> members;
        for (std::size_t i = 0; i < windows.size(); ++i) {
            RecordingWindow& window = windows[i];
            MessageBoxes* boxes = &window.boxes;
            if (question)
                boxes = asking
                            .emplace_back(
                                std::make_unique<FleetMemberBoxes>(*question, i, window.boxes))
                            .get();
            members.push_back({bench->At(i).Name(), window.log, window.progress, window.progress,
                               *boxes, window.busy, window.pump, clock});
        }
        std::vector<UpdateOutcome> outcomes =
            UpdateFleet(image, members, [question](std::size_t member, const UpdateOutcome&) {
                if (question)
                    question->Ended(member);
            });
        std::vector<Result> results;
        for (std::size_t i = 0; i < windows.size(); ++i)
            results.push_back({outcomes[i], windows[i].log.text(),
                               WireOf(bench->Trace().Lines(), members[i].resourceName)});
        return results;
    }

    PerThreadClock clock;
    std::shared_ptr<sim::Bench> bench;
    std::vector<RecordingWindow> windows;
    ImageInfo image;
};

sim::BenchConfig FourInstruments() {
    sim::BenchConfig config;
    for (const char* serial : SERIALS)
        config.instruments.push_back(Instrument(serial));
    config.instruments[2].mode = sim::Mode::Loader; // one needs no switch to the loader
    return config;
}

struct FleetCase {
    const char* label;
    StatusCode code; // of the second instrument; the others complete as if alone
    std::function<void(sim::InstrumentConfig&)> change;
};

const FleetCase FLEET_CASES[] = {
    {"a loader step fails", STATUS_LOAD_END_FAILED,
     [](sim::InstrumentConfig& i) {
         i.faults.push_back({FaultKind::NoReply, sim::LOADER_LOAD_DONE, 2, "", 0});
     }},
    {"unplugged during a segment", STATUS_LOAD_FAILED,
     [](sim::InstrumentConfig& i) {
         i.faults.push_back({FaultKind::UnplugAfterData, sim::DATA_WRITE, 4, "", 70000});
     }},
    {"holds a newer revision", STATUS_DEVICE_NEWER,
     [](sim::InstrumentConfig& i) { i.revisions.fpga2 = "09"; }},
};

class FleetUpdate : public testing::TestWithParam<FleetCase> {};

TEST_P(FleetUpdate, EachInstrumentIsUpdatedAsIfAloneAndFailsOnItsOwn) {
    sim::BenchConfig config = FourInstruments();
    GetParam().change(config.instruments[1]);
    Fleet fleet(config);
    std::vector<Result> results = fleet.Run();

    for (std::size_t i = 0; i < results.size(); ++i) {
        SCOPED_TRACE(SERIALS[i]);
        UpdateRig alone(sim::BenchConfig{{config.instruments[i]}});
        EXPECT_EQ(i == 1 ? GetParam().code : STATUS_COMPLETE, alone.Run().status);
        const std::vector<std::string> wire =
            WireOf(alone.bus.bench->Trace().Lines(), sim::ResourceNameOf(SERIALS[i]));
        ASSERT_FALSE(wire.empty());
        EXPECT_EQ(i == 1 ? GetParam().code : STATUS_COMPLETE, results[i].outcome.status);
        EXPECT_EQ(alone.log.text(), results[i].log);
        EXPECT_EQ(wire, results[i].wire);
    }
}

INSTANTIATE_TEST_SUITE_P(Bench, FleetUpdate, testing::ValuesIn(FLEET_CASES), LabelName<FleetCase>);

// One question for the whole fleet: it comes once every instrument still on the bus shows its
// name and waits, and its one answer goes to all of them. One that left the bus before its
// update is not found, and no other one is updated in its place.
TEST(FleetMembers, AskedOnceWhileEveryInstrumentShowsItsNameAndAllTakeTheAnswer) {
    const std::pair<MessageAnswer, StatusCode> cases[] = {{MessageAnswer::Yes, STATUS_COMPLETE},
                                                          {MessageAnswer::No, STATUS_CANCELLED}};
    for (const auto& [answer, code] : cases) {
        sim::BenchConfig config = FourInstruments();
        config.instruments[2].mode = sim::Mode::Normal;
        Fleet fleet(config);
        fleet.bench->At(3).Unplug();
        FleetConfirmation question(config.instruments.size());
        std::vector<Result> results;
        std::jthread updates([&] { results = fleet.Run(&question); });

        EXPECT_EQ((std::vector<std::size_t>{0, 1, 2}), question.WaitForQuestions());
        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(fleet.bench->At(i).Name(), fleet.bench->At(i).DisplayText());
        question.Answer(answer);
        updates.join();

        for (std::size_t i = 0; i < 3; ++i)
            EXPECT_EQ(code, results[i].outcome.status);
        EXPECT_FALSE(results[3].outcome.instrumentFound);
        EXPECT_TRUE(results[3].wire.empty());
        EXPECT_EQ("", fleet.bench->At(0).DisplayText());
    }
}

// An instrument listed at the first search and gone at the one after its switch to the loader is
// not selected again: the update then ends as not found instead of opening a name that is gone.
TEST(FleetMembers, ASearchWithoutTheInstrumentSelectsNone) {
    OneInstrumentList list(sim::ResourceNameOf(SERIALS[0]));
    list.AddString(sim::ResourceNameOf("tw00000001"));
    list.SelectPrefixOrFirst(""); // listed under its name in another case: the same instrument
    EXPECT_EQ(sim::ResourceNameOf(SERIALS[0]), list.CurrentText());
    list.ResetContent();
    list.AddString(sim::ResourceNameOf(SERIALS[1]));
    list.SelectPrefixOrFirst("");
    EXPECT_EQ("", list.CurrentText());
}

// A member whose update throws (memory exhausted, say) ends alone: the others still flash to
// the end, and the exception reaches the caller after them instead of aborting the program.
TEST(FleetMembers, AnExceptionOfOneReachesTheCallerAfterTheOthersEnded) {
    Fleet fleet(FourInstruments());
    fleet.windows[1].pump.onPump = [] { throw std::bad_alloc(); };
    EXPECT_THROW(fleet.Run(), std::bad_alloc);
    for (std::size_t i : {0, 2, 3})
        EXPECT_NE(std::string::npos, fleet.windows[i].log.text().find("Completed")) << i;
}

} // namespace
