// The Update button of the window end to end: offscreen Qt, the simulated instrument on a
// fake clock, a file opened with "...", the message boxes answered as an operator would.

#include "UpdateRig.h"
#include "app/FileChooser.h"
#include "app/WindowTestSupport.h"
#include "res/Resource.h"

#include <QKeyEvent>
#include <QLabel>
#include <QProgressBar>
#include <QPushButton>
#include <QTemporaryDir>
#include <QTimer>
#include <fstream>

namespace {

class OneFile final : public FileChooser {
public:
    explicit OneFile(std::string path) : path_(std::move(path)) {}
    std::optional<std::string> ChooseFile() override { return path_; }

private:
    std::string path_;
};

// The window with the test firmware opened through "...", on a simulated bus.
class WindowUpdate : public WindowTest {
protected:
    void Open(const sim::BenchConfig& config, std::vector<FaultyVisa::Rule> rules = {}) {
        ASSERT_TRUE(folder.isValid());
        const std::string path = folder.filePath("firmware.bin").toStdString();
        const std::vector<std::uint8_t> bytes = WriteImageFile(TestFirmware());
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        ASSERT_EQ(STATUS_COMPLETE, LoadBytes(bytes, image));

        bus = std::make_unique<SimulatedBus>(config, std::move(rules));
        files = std::make_unique<OneFile>(path);
        DesktopServices desktop;
        desktop.files = files.get();
        desktop.clock = &bus->clock;
        dialog = std::make_unique<CUpdateDlg>(desktop);
        dialog->show();
        Click(IDC_BROWSE);
        ASSERT_TRUE(Button(IDC_UPDATE)->isEnabled());
    }
    void TearDown() override {
        dialog.reset();
        if (bus) {
            EXPECT_EQ(0u, bus->OpenSessions()); // the resource manager closed them all
        }
        bus.reset();
        WindowTest::TearDown();
    }

    QPushButton* Button(int id) { return qobject_cast<QPushButton*>(dialog->Control(id)); }
    void Click(int id) { Button(id)->click(); }
    std::string StepText() {
        return qobject_cast<QLabel*>(dialog->Control(IDC_STEP))->text().toStdString();
    }
    QProgressBar* Bar() { return qobject_cast<QProgressBar*>(dialog->Control(IDC_PROGRESS)); }

    void ExpectReadyForAnotherRun() {
        EXPECT_EQ(0u, bus->OpenSessions());
        EXPECT_TRUE(Button(IDC_UPDATE)->isEnabled());
        EXPECT_TRUE(Button(IDC_BROWSE)->isEnabled());
        EXPECT_FALSE(dialog->IsUpdating());
        dialog->close();
        EXPECT_FALSE(dialog->isVisible());
    }

    QTemporaryDir folder;
    ImageInfo image;
    std::unique_ptr<SimulatedBus> bus;
    std::unique_ptr<OneFile> files;
    std::unique_ptr<CUpdateDlg> dialog;
};

TEST_F(WindowUpdate, AWholeUpdate) {
    Open({{Instrument()}});
    BoxWatcher boxes;
    boxes.onShown = [this] { return bus->Device().DisplayText(); };
    Click(IDC_UPDATE);

    EXPECT_EQ(CompletedLog(image), dialog->LogText());
    EXPECT_EQ("5 / 5", StepText());
    EXPECT_EQ(Bar()->maximum(), Bar()->value());
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("Are you sure you want to update TQ4800 SN:TW00012345?", boxes.seen[0].text);
    EXPECT_EQ("Confirm Firmware Update", boxes.seen[0].caption);
    EXPECT_EQ(QMessageBox::Question, boxes.seen[0].icon);
    EXPECT_EQ(sim::ResourceNameOf(SERIAL), boxes.seen[0].whenShown);
    EXPECT_EQ("Update is complete.", boxes.seen[1].text);
    EXPECT_EQ("Firmware Update", boxes.seen[1].caption);
    EXPECT_EQ(QMessageBox::Information, boxes.seen[1].icon);

    for (const SegmentImage& segment : image.segments) {
        const std::vector<std::uint8_t>* flash = bus->Flash(segment.type);
        ASSERT_NE(nullptr, flash);
        EXPECT_TRUE(std::equal(flash->begin(), flash->end(), segment.data.begin()));
        EXPECT_EQ(segment.byteCount, flash->size());
    }
    EXPECT_EQ("1.10  A  02 03 04 2.01", bus->Device().RevisionField());
    ExpectReadyForAnotherRun();
}

// While segments are written, the close box, Esc and Enter reach the window through the
// events the transfer pumps; all are refused, and honoured again once the run has ended.
TEST_F(WindowUpdate, CannotBeClosedWhileSegmentsAreWritten) {
    Open({{Instrument()}});
    BoxWatcher boxes;
    int refused = 0;
    QTimer closer;
    closer.setInterval(0);
    QObject::connect(&closer, &QTimer::timeout, [&] {
        if (!dialog->IsUpdating())
            return;
        dialog->close();
        QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
        QCoreApplication::sendEvent(dialog.get(), &escape);
        refused += dialog->isVisible() ? 1 : 0;
    });
    closer.start();
    Click(IDC_UPDATE);
    closer.stop();

    EXPECT_GT(refused, 0);
    EXPECT_TRUE(dialog->LogText().ends_with("--------------- Completed ---------------"));
    ExpectReadyForAnotherRun();
}

// A failed segment ends the run: its code in the log, and the window can be closed again.
TEST_F(WindowUpdate, AFailedSegmentLeavesTheWindowUsable) {
    Open({{Instrument(SERIAL, sim::Mode::Normal,
                      {{sim::FaultKind::EraseNg, sim::ANY_COMMAND, 3, "", 0}})}});
    BoxWatcher boxes;
    Click(IDC_UPDATE);

    EXPECT_EQ("\r\nError number: 13", dialog->LogText());
    EXPECT_EQ("3 / 5", StepText());
    ASSERT_EQ(1u, boxes.seen.size()); // the question only: code 13 has no box
    EXPECT_EQ(nullptr, bus->Flash(image.segments[3].type));
    ExpectReadyForAnotherRun();
}

TEST_F(WindowUpdate, AReportedCodeWithItsBox) {
    sim::InstrumentConfig newer = Instrument();
    newer.revisions.fpga2 = "09";
    Open({{newer}});
    BoxWatcher boxes;
    Click(IDC_UPDATE);

    EXPECT_EQ("\r\nError number: 16", dialog->LogText());
    ASSERT_EQ(2u, boxes.seen.size());
    EXPECT_EQ("There is a newer firmware revision run on current device.", boxes.seen[1].text);
    EXPECT_EQ("Error", boxes.seen[1].caption);
    EXPECT_EQ(QMessageBox::Critical, boxes.seen[1].icon);
    ExpectReadyForAnotherRun();
}

TEST_F(WindowUpdate, NoInstrument) {
    Open(sim::BenchConfig{});
    dialog->AppendLog("from before");
    BoxWatcher boxes;
    Click(IDC_UPDATE);

    ASSERT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("No instrument found.", boxes.seen[0].text);
    EXPECT_EQ("Search Instrument", boxes.seen[0].caption);
    EXPECT_EQ(QMessageBox::Information, boxes.seen[0].icon);
    EXPECT_EQ("", dialog->LogText());
    ExpectReadyForAnotherRun();
}

TEST_F(WindowUpdate, DecliningClearsTheInstrumentsDisplay) {
    Open({{Instrument()}});
    BoxWatcher boxes;
    boxes.answer = QMessageBox::No;
    Click(IDC_UPDATE);

    EXPECT_EQ("\r\nError number: 2", dialog->LogText());
    EXPECT_EQ(1u, boxes.seen.size());
    EXPECT_EQ("", bus->Device().DisplayText());
    EXPECT_EQ("DISP:TEXT:CLEAR\n", std::string(bus->faults->Writes().back().bytes.begin(),
                                               bus->faults->Writes().back().bytes.end()));
    ExpectReadyForAnotherRun();
}

} // namespace
