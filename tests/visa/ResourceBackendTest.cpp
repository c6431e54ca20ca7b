#include "sim/BenchFixture.h"
#include "sim/SimTestSupport.h"

#include <gtest/gtest.h>
#include <string>
#include <tuple>

namespace {

constexpr char FIRST[] = "USB0::0x1D7A::0x52C1::TW00000001::INSTR";
constexpr char SECOND[] = "USB0::0x1D7A::0x52C1::TW00000002::INSTR";

// Two instruments on the bus, a resource manager open, and a search's outputs.
class ResourceBackend : public ::testing::Test {
protected:
    SimulatedBench bench{sim::BenchConfig{{Instrument("TW00000001"), Instrument("TW00000002")}}};
    ViSession rm = OpenDefaultRM();
    ViFindList list = 0;
    ViUInt32 count = 0;
    char desc[VI_FIND_BUFLEN] = {};
};

// A search lists its matches in bus order, then runs out; a closed list, a session, the
// manager and an unknown handle are each refused where another kind is wanted, and a close
// of nothing is harmless.
TEST_F(ResourceBackend, SearchListsMatchesInBusOrderThenRunsOut) {
    ASSERT_EQ(VI_SUCCESS, visa::viFindRsrc(rm, "USB?*INSTR", &list, &count, desc));
    EXPECT_EQ(2u, count);
    EXPECT_STREQ(FIRST, desc);
    EXPECT_EQ(VI_SUCCESS, visa::viFindNext(list, desc));
    EXPECT_STREQ(SECOND, desc);
    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, visa::viFindNext(list, desc));
    EXPECT_EQ(VI_SUCCESS, visa::viClose(list));
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viFindNext(list, desc));
    ViByte byte = 0;
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viFindNext(OpenSession(rm, FIRST), desc));
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viRead(rm, &byte, 1, &count)); // no session either
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viSetAttribute(0xDEAD, VI_ATTR_TMO_VALUE, 10));
    EXPECT_GE(visa::viClose(0), 0);

    EXPECT_EQ(VI_ERROR_RSRC_NFOUND, visa::viFindRsrc(rm, "GPIB?*", &list, &count, desc));
    EXPECT_EQ(0u, count);
    EXPECT_EQ(VI_ERROR_INV_EXPR, visa::viFindRsrc(rm, "USB(?*", &list, &count, desc));
    EXPECT_EQ(0u, bench.backend->OpenFindLists());
}

TEST_F(ResourceBackend, ClosingTheManagerClosesWhatWasOpenedThroughItOnly) {
    ViSession other = OpenDefaultRM();
    ViSession first = OpenSession(rm, FIRST);
    ViSession second = OpenSession(rm, SECOND);
    ViSession kept = OpenSession(other, FIRST);
    ASSERT_EQ(VI_SUCCESS, visa::viFindRsrc(rm, "?*", &list, &count, desc));

    EXPECT_EQ(VI_SUCCESS, visa::viClose(rm));
    EXPECT_EQ(0u, bench.backend->OpenFindLists());
    EXPECT_EQ(1u, bench.backend->OpenSessions());
    EXPECT_EQ(VI_ERROR_INV_OBJECT, Send(first, "*IDN?\n"));
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viClose(second));
    EXPECT_EQ(VI_SUCCESS, Send(kept, "*IDN?\n"));
    EXPECT_EQ("close 1", bench.Trace().at(bench.Trace().size() - 3));
    EXPECT_EQ("close 2", bench.Trace().at(bench.Trace().size() - 2));
}

TEST_F(ResourceBackend, ReadEndsAtMessageEndOrLimitOrTheSessionsTimeOut) {
    ViSession vi = OpenSession(rm, FIRST);
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status);
    ASSERT_EQ(VI_SUCCESS, visa::viSetAttribute(vi, VI_ATTR_TMO_VALUE, 5000));
    EXPECT_EQ(VI_ERROR_TMO, Receive(vi).status);
    EXPECT_EQ((std::vector<std::uint32_t>{visa::DEFAULT_TIMEOUT_MS, 5000}), bench.clock.sleeps);

    ASSERT_EQ(VI_SUCCESS, Send(vi, "*IDN?\n"));
    const ReadResult head = Receive(vi, 10);
    EXPECT_EQ(VI_SUCCESS_MAX_CNT, head.status);
    const ReadResult rest = Receive(vi, 200);
    EXPECT_EQ(VI_SUCCESS, rest.status);
    EXPECT_EQ("SIMULATED,TQ4800,TW00000001,", (head.text + rest.text).substr(0, 28));
    EXPECT_EQ('\n', rest.text.back());

    EXPECT_EQ(VI_ERROR_NSUP_ATTR, visa::viSetAttribute(vi, 0x3FFF0001, 5));
}

TEST_F(ResourceBackend, OpenChecksNameModeAndPresence) {
    const std::string name = sim::ResourceNameOf("TW00000001");
    // The session opened through, the name, the access mode, the result.
    const std::tuple<ViSession, std::string, ViAccessMode, ViStatus> cases[] = {
        {rm, "", VI_NO_LOCK, VI_ERROR_INV_RSRC_NAME},
        {rm, "USB0::0x1D7A::0x52C1::TW99999999::INSTR", VI_NO_LOCK, VI_ERROR_RSRC_NFOUND},
        {rm, "USB0::0x1D7B::0x52C1::TW00000001::INSTR", VI_NO_LOCK, VI_ERROR_RSRC_NFOUND},
        {rm, name, 1, VI_ERROR_INV_ACC_MODE},
        {rm, "usb::7546::21185::TW00000001::0::instr", VI_NO_LOCK, VI_SUCCESS},
        {OpenSession(rm, name), name, VI_NO_LOCK, VI_ERROR_INV_OBJECT},
    };
    for (const auto& [through, resource, mode, status] : cases) {
        ViSession vi = 5;
        EXPECT_EQ(status, visa::viOpen(through, resource.c_str(), mode, 1000, &vi)) << resource;
        EXPECT_EQ(status == VI_SUCCESS, vi != 0) << resource;
    }
}

// Another thread closes the resource manager while a search or an open through it is under
// way: the call fails and leaves nothing open that no manager would ever close.
TEST_F(ResourceBackend, ManagerClosedDuringASearchOrAnOpenLeavesNothingOpen) {
    struct ClosingProvider final : visa::ResourceProvider {
        ViStatus List(std::vector<std::string>& names) override {
            visa::viClose(rm);
            return inner->List(names);
        }
        ViStatus Open(const std::string& name, ViUInt32 timeoutMs,
                      std::unique_ptr<visa::Connection>& connection) override {
            visa::viClose(rm);
            return inner->Open(name, timeoutMs, connection);
        }
        std::unique_ptr<visa::ResourceProvider> inner;
        ViSession rm = VI_NULL;
    };
    auto provider = std::make_unique<ClosingProvider>();
    provider->inner =
        visa::MakeSimProvider(std::make_shared<sim::Bench>(sim::DefaultBench(), bench.clock));
    ClosingProvider& closing = *provider;
    auto backend = std::make_unique<visa::ResourceBackend>(std::move(provider));
    visa::ResourceBackend& table = *backend;
    visa::InstallBackend(std::move(backend));

    list = count = 5;
    closing.rm = OpenDefaultRM();
    EXPECT_EQ(VI_ERROR_INV_OBJECT, visa::viFindRsrc(closing.rm, "?*", &list, &count, desc));
    ViSession vi = 5;
    closing.rm = OpenDefaultRM();
    EXPECT_EQ(
        VI_ERROR_INV_OBJECT,
        visa::viOpen(closing.rm, sim::ResourceNameOf("TW00012345").c_str(), VI_NO_LOCK, 1000, &vi));
    EXPECT_EQ(
        (std::vector<std::size_t>{0, 0, 0, 0, 0}),
        (std::vector<std::size_t>{list, count, vi, table.OpenFindLists(), table.OpenSessions()}));
}

} // namespace
