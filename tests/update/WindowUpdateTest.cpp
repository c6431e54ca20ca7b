// The Update button of the window end to end: offscreen Qt, the simulated instrument on a
// fake clock, a file opened with "...", the message boxes answered as an operator would.

#include "UpdateRig.h"
#include "app/WindowTestSupport.h"
#include "fakes/ProgramRun.h"
#include "history/HistoryFixture.h"
#include "res/Resource.h"

#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTimer>
#include <filesystem>
#include <fstream>

namespace {

// The window with the test firmware opened through "...", on a simulated bus.
class WindowUpdate : public WindowTest {
protected:
    void Open(const sim::BenchConfig& config) {
        dialog.reset();
        bus.reset(); // one simulated bus at a time is the process's VISA backend
        bus = std::make_unique<SimulatedBench>(config);
        files.answers = {Write("firmware.bin", WriteImageFile(TestFirmware()))};
        dialog =
            std::make_unique<CUpdateDlg>(DesktopServices{.files = &files, .clock = &bus->clock});
        dialog->show();
        Button(IDC_BROWSE)->click();
        ASSERT_TRUE(Button(IDC_UPDATE)->isEnabled());
    }
    void TearDown() override {
        setenv("TQ4800_HISTORY", "off", 1);
        dialog.reset();
        bus.reset();
        WindowTest::TearDown();
    }

    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dialog->Control(id)); }
    std::string StepText() {
        return qobject_cast<QLabel*>(dialog->Control(IDC_STEP))->text().toStdString();
    }

    void ExpectReadyForAnotherRun() {
        EXPECT_EQ(0u, bus->OpenSessions());
        EXPECT_TRUE(Button(IDC_UPDATE)->isEnabled());
        EXPECT_TRUE(Button(IDC_BROWSE)->isEnabled());
        EXPECT_FALSE(dialog->IsUpdating());
        dialog->close();
        EXPECT_FALSE(dialog->isVisible());
    }

    std::unique_ptr<SimulatedBench> bus;
    ScriptedFileChooser files;
    std::unique_ptr<CUpdateDlg> dialog;
};

// While segments are written the window holds its close guard, which refuses the close box and
// Esc that reach it through the events the transfer pumps; once the run has ended it closes.
TEST_F(WindowUpdate, AWholeUpdateThatCannotBeClosedWhileItRuns) {
    const std::string history = Path("history.sqlite3");
    setenv("TQ4800_HISTORY", history.c_str(), 1); // read by the window when it is made
    Open({{Instrument()}});
    // The history records the file as it was loaded, not as the path holds it by Update.
    const std::string firmware = Path("firmware.bin");
    const std::string loadedDigest =
        RunCommand("sha256sum " + ShellWord(firmware), folder_.string()).out.substr(0, 64);
    const auto loadedSize = std::filesystem::file_size(firmware);
    std::ofstream(firmware + ".new") << "replaced";
    std::filesystem::rename(firmware + ".new", firmware);
    BoxWatcher boxes;
    boxes.onShown = [this] { return bus->Device().DisplayText(); };
    bool guarded = false; // seen updating in the events the transfer pumps
    QTimer watch;
    watch.setInterval(0);
    QObject::connect(&watch, &QTimer::timeout, [&] { guarded = guarded || dialog->IsUpdating(); });
    watch.start();
    Button(IDC_UPDATE)->click();
    watch.stop();

    EXPECT_TRUE(guarded);
    EXPECT_EQ(CompletedLog(), dialog->LogText());
    EXPECT_EQ("5 / 5", StepText());
    auto* bar = qobject_cast<QProgressBar*>(dialog->Control(IDC_PROGRESS));
    EXPECT_EQ(bar->maximum(), bar->value());
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345?", boxes.seen[0].text);
    EXPECT_EQ("Confirm Firmware Update", boxes.seen[0].caption);
    EXPECT_EQ(QMessageBox::Question, boxes.seen[0].icon);
    EXPECT_EQ(sim::ResourceNameOf(SERIAL), boxes.seen[0].whenShown); // on its display
    EXPECT_EQ("Update is complete.", boxes.seen[1].text);
    EXPECT_EQ("Firmware Update", boxes.seen[1].caption);
    EXPECT_EQ(QMessageBox::Information, boxes.seen[1].icon);

    EXPECT_EQ("1.10  A  02 03 04 2.01", bus->Device().RevisionField());

    const std::vector<HistoryRecord> records = Records(history);
    ASSERT_EQ(1u, records.size());
    EXPECT_EQ("window ended 0 " + firmware, records[0].frontEnd + " " + records[0].state + " " +
                                                std::to_string(records[0].statusCode.value_or(-1)) +
                                                " " + records[0].filePath);
    EXPECT_EQ(loadedDigest, records[0].fileSha256);
    EXPECT_EQ(loadedSize, records[0].fileSize);
    ExpectReadyForAnotherRun();
}

// Runs that end early: no instrument gives only its box and an empty log; a failed third
// segment only its number (code 13 has no box), in view, and "3 / 5"; the window is usable
// again, and a second run starts again from the search. A history that is not a database
// changes nothing the operator sees.
TEST_F(WindowUpdate, RunsThatEndEarlyLeaveTheWindowUsable) {
    std::ofstream(Path("junk.sqlite3")) << std::string(4096, 'x');
    setenv("TQ4800_HISTORY", Path("junk.sqlite3").c_str(), 1);
    const sim::Fault eraseFails{sim::FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0};
    const sim::BenchConfig benches[] = {{},
                                        {{Instrument(SERIAL, sim::Mode::Normal, {eraseFails})}}};
    for (const sim::BenchConfig& bench : benches) {
        Open(bench);
        dialog->AppendLog("from before");
        BoxWatcher boxes;
        Button(IDC_UPDATE)->click();
        const bool found = !bench.instruments.empty();
        EXPECT_EQ(found ? "\r\nError number: 13" : "", dialog->LogText());
        EXPECT_EQ(found ? "3 / 5" : "5 / 5", StepText());
        EXPECT_EQ(found ? 300 : 350, dialog->Control(IDC_LOG)->y()) << "the log line in view";
        ASSERT_EQ(1u, boxes.seen.size());
        EXPECT_EQ(found ? "Are you sure you want to update TQ4800 SN:TW00012345?"
                        : "No instrument found.",
                  boxes.seen[0].text);
        EXPECT_EQ(found ? "Confirm Firmware Update" : "Search Instrument", boxes.seen[0].caption);
        if (found) { // the loader counts segments since it came up: the fault is behind it now
            Button(IDC_UPDATE)->click();
            EXPECT_EQ(CompletedLog(false), dialog->LogText());
        }
        ExpectReadyForAnotherRun();
    }
}

} // namespace
