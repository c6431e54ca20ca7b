#include "link/InstrumentSession.h"

#include "sim/BenchFixture.h"
#include "sim/Transcript.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {

const std::string NAME = sim::ResourceNameOf("TW00012345");

std::string Hex(const std::string& bytes) {
    return sim::HexBytes(reinterpret_cast<const ViByte*>(bytes.data()),
                         static_cast<std::uint32_t>(bytes.size()));
}

// The utility's session on a simulated bench, the resource manager open.
struct SessionOnBench {
    explicit SessionOnBench(const sim::BenchConfig& config = sim::DefaultBench(),
                            std::vector<FaultyVisa::Rule> rules = {})
        : bench(config, std::move(rules)), session(devices) {
        session.OpenResourceManager();
    }

    // Selects a name as the Device list would after a search.
    void Select(const std::string& name) {
        devices.ResetContent();
        devices.AddString(name);
        devices.selected = 0;
    }

    void ExpectNothingLeftOpen() {
        EXPECT_EQ(0u, bench.backend->OpenSessions());
        EXPECT_EQ(0u, bench.backend->OpenFindLists());
    }

    SimulatedBench bench;
    FakeDeviceList devices;
    InstrumentSession session;
};

class SessionTest : public ::testing::Test, public SessionOnBench {};

// The count is the one the search reported, even when its next-match calls deliver fewer
// names (here the third fails).
TEST(InstrumentSessionSearch, ListsMatchingInstrumentsSortedAndClosesTheSearch) {
    SessionOnBench on(sim::BenchConfig{{Instrument("TW00000002"), Instrument("TW00000001"),
                                        Instrument("MY00000003"), Instrument("TW00000004")}},
                      {{FaultyVisa::Call::FindNext, "", 2, VI_ERROR_RSRC_NFOUND}});
    on.devices.AddString("stale entry");
    EXPECT_EQ(3, on.session.FindInstruments());
    EXPECT_EQ((std::vector<std::string>{sim::ResourceNameOf("TW00000001"),
                                        sim::ResourceNameOf("TW00000002")}),
              on.devices.items);
    EXPECT_EQ(-1, on.devices.selected);
    for (std::size_t i = 0; i < 4; ++i)
        on.bench.Device(i).Unplug();
    EXPECT_EQ(0, on.session.FindInstruments());
    EXPECT_TRUE(on.devices.items.empty());
    on.ExpectNothingLeftOpen();
}

// The loader's identity is upper-cased and kept whole, up to the first NUL; a reply that
// does not fit the 256-byte buffer is a failed read.
TEST(InstrumentSession, LoaderIdentityIsUpperCasedAndKeptWhole) {
    // The reply sent, the result, the reply text afterwards.
    const std::tuple<std::string, StatusCode, std::string> cases[] = {
        {"writer,tq4800,tw1,1.05\r\n", STATUS_COMPLETE, "WRITER,TQ4800,TW1,1.05\r\n"},
        {"WRITE", STATUS_NOT_COMPLETE, "old"},
        {std::string("WRITER,A\0b,c", 12), STATUS_COMPLETE, "WRITER,A"},
        {"WRITER" + std::string(249, 'x'), STATUS_COMPLETE, "WRITER" + std::string(249, 'X')},
        {"WRITER" + std::string(250, 'x'), STATUS_READ_FAILED, "old"},
    };
    for (const auto& [sent, result, kept] : cases) {
        SessionOnBench on(
            {{Instrument(SERIAL, sim::Mode::Loader,
                         {{sim::FaultKind::WrongReply, sim::IDENTITY_QUERY, 0, sent, 0}})}});
        on.Select(NAME);
        ASSERT_EQ(STATUS_COMPLETE, on.session.ConnectDevice());
        std::string reply = "old";
        EXPECT_EQ(result, on.session.QueryIdentity(reply)) << sent;
        EXPECT_EQ(kept, reply);
        on.session.DisconnectDevice();
        on.ExpectNothingLeftOpen();
    }
}

// Nothing selected, nothing opens. The switch writes its command only; while the instrument
// reboots into its loader the switching session has lost it and nothing opens it, after the
// reboot it opens again.
TEST_F(SessionTest, TranscriptOfConnectIdentifySwitchAndReconnect) {
    EXPECT_EQ(STATUS_CONNECT_FAILED, session.ConnectDevice());
    Select(NAME);
    std::string reply;
    ASSERT_EQ(STATUS_COMPLETE, session.ConnectDevice());
    ASSERT_EQ(STATUS_NOT_COMPLETE, session.QueryIdentity(reply)); // normal firmware
    ASSERT_EQ(STATUS_COMPLETE, session.EnterWriterMode());
    EXPECT_EQ(1u, bench.backend->OpenSessions()); // the first was closed before the switch
    EXPECT_EQ(VI_ERROR_CONN_LOST, session.DeviceWrite("*IDN?\n", 6));
    EXPECT_EQ(STATUS_CONNECT_FAILED, session.ConnectDevice());
    EXPECT_EQ(0u, session.m_viInstr);
    bench.clock.SleepMs(2500);
    ASSERT_EQ(STATUS_COMPLETE, session.ConnectDevice());
    ASSERT_EQ(STATUS_COMPLETE, session.QueryIdentity(reply));
    session.DisconnectDevice();
    ExpectNothingLeftOpen();

    const std::vector<std::string> expected = {
        "open -  !BFFF0012",
        "open 1 " + NAME,
        "tmo 1 5000",
        "write 1 2A49444E3F0A",
        "read 1 " + Hex("SIMULATED,TQ4800,TW00012345,1.05  A  01 01 01 1.05\n"),
        "close 1",
        "open 2 " + NAME,
        "tmo 2 2500",
        "write 2 737973743A757064617465205451343830300A",
        "write 2 !BFFF00A6",
        "close 2",
        "open - " + NAME + " !BFFF0011",
        "open 3 " + NAME,
        "tmo 3 5000",
        "write 3 2A49444E3F0A",
        "read 3 " + Hex("WRITER,TQ4800,TW00012345,1.05  A  01 01 01 1.05"),
        "close 3",
    };
    EXPECT_EQ(expected, bench.Trace());
}

} // namespace
