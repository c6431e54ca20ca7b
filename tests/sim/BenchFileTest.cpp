#include "sim/BenchFile.h"

#include <gtest/gtest.h>
#include <sstream>

namespace {

TEST(BenchFile, ReadsInstrumentsSettingsAndFaults) {
    sim::BenchConfig config;
    std::string error;
    std::istringstream in("# two instruments\n"
                          "instrument TW1\n"
                          "  mode loader   # already switched\n"
                          "  main 2.00\n  writer B\n  fpga1 07\n  fpga2 08\n  fpga3 09\n"
                          "  http 3.10\n  reboot-ms 4000\n  enumerate-ms 400\n  flash-line-ms 0\n"
                          "  fault wrong-reply command=load-done segment=2 reply=NOT OK\n"
                          "  fault unplug-after command=data count=100\n"
                          "instrument TW2\n");
    ASSERT_TRUE(sim::ParseBench(in, config, error)) << error;
    ASSERT_EQ(2u, config.instruments.size());
    const sim::InstrumentConfig& first = config.instruments[0];
    EXPECT_EQ("TW1", first.serial);
    EXPECT_EQ(sim::Mode::Loader, first.mode);
    EXPECT_EQ("2.00  B  07 08 09 3.10", sim::RevisionField(first.revisions));
    EXPECT_EQ(4000u, first.rebootMs);
    EXPECT_EQ(400u, first.enumerateMs);
    EXPECT_EQ(0u, first.flashLineMs);
    ASSERT_EQ(2u, first.faults.size());
    EXPECT_EQ(sim::FaultKind::WrongReply, first.faults[0].kind);
    EXPECT_EQ(13, first.faults[0].command);
    EXPECT_EQ(2, first.faults[0].segment);
    EXPECT_EQ("NOT OK", first.faults[0].reply);
    EXPECT_EQ(sim::DATA_WRITE, first.faults[1].command);
    EXPECT_EQ(100u, first.faults[1].count);

    // An instrument without settings is the default bench's instrument.
    const sim::InstrumentConfig defaults = sim::DefaultBench().instruments.front();
    EXPECT_EQ(defaults.mode, config.instruments[1].mode);
    EXPECT_EQ(sim::RevisionField(defaults.revisions),
              sim::RevisionField(config.instruments[1].revisions));
    EXPECT_EQ(defaults.flashLineMs, config.instruments[1].flashLineMs);
}

// A mistake is told with its line; a file that cannot be read, with its name. (The example
// bench is read by the test flash_list_example_bench.)
TEST(BenchFile, ReportsTheLineOfAMistake) {
    const std::string longestSerial = "instrument " + std::string(126, 'S') + "\n";
    const std::string tooLong = "instrument " + std::string(127, 'S') + "\n";
    const std::pair<std::string, std::string> cases[] = {
        {longestSerial + tooLong, "line 2: serial number longer than 126 characters"},
        {"mode loader\n", "line 1: \"mode\" before the first \"instrument\" line"},
        {"instrument\n", "line 1: \"instrument\" needs one serial number"},
        {"instrument TW1\n\nmode sleepy\n", "line 3: bad setting \"mode sleepy\""},
        {"instrument TW1\nmain 1.5\n", "line 2: bad setting \"main 1.5\""},
        {"instrument TW1\nreboot-ms -1\n", "line 2: bad setting \"reboot-ms -1\""},
        {"instrument TW1\nfault melt\n", "line 2: unknown fault kind \"melt\""},
        {"instrument TW1\nfault no-reply command=boot\n",
         "line 2: bad fault option \"command=boot\""},
        {"instrument TW1\nwriter A B\n", "line 2: unexpected \"B\" after \"writer A\""},
    };
    for (const auto& [text, message] : cases) {
        sim::BenchConfig config;
        std::string error;
        std::istringstream in(text);
        EXPECT_FALSE(sim::ParseBench(in, config, error)) << text;
        EXPECT_EQ(message, error);
    }
    sim::BenchConfig config;
    std::string error;
    EXPECT_FALSE(sim::LoadBenchFile("/nonexistent/bench.conf", config, error));
    EXPECT_EQ("/nonexistent/bench.conf: cannot be read", error);
}

} // namespace
