#pragma once

// A history file of its own for each test, the problems said about it, and whole updates on
// the simulated instrument recorded in it.

#include "history/HistoryDatabase.h"
#include "history/UpdateHistory.h"
#include "image/ImageTestFiles.h"
#include "update/UpdateRig.h"

#include <gtest/gtest.h>

class HistoryTest : public TempFolderTest {
protected:
    UpdateHistory History(const std::string& path) {
        return UpdateHistory({false, path}, "terminal", notice_);
    }

    // A whole update on rig, recorded by history; the firmware is written to a file first,
    // as the operator would have it.
    UpdateOutcome RecordedRun(UpdateRig& rig, UpdateHistory& history) {
        const std::string firmware = Write("firmware.bin", WriteImageFile(TestFirmware()));
        const std::unique_ptr<UpdateJournal> journal = history.JournalFor(firmware, rig.image);
        rig.sequence.SetJournal(journal.get());
        const UpdateOutcome outcome = rig.Run();
        rig.sequence.SetJournal(nullptr);
        return outcome;
    }

    std::vector<HistoryRecord> Records(const std::string& serialPrefix = "") {
        HistoryDatabase database;
        std::vector<HistoryRecord> records;
        std::string error;
        EXPECT_TRUE(database.Open(file, HistoryDatabase::Access::Read, error) &&
                    database.Read(serialPrefix, 0, records, error))
            << error;
        return records;
    }

    const std::string file = Path("state/tq4800-update/history.sqlite3");
    std::vector<std::string> notices;

protected:
    OnceNotice notice_{[this](const std::string& text) { notices.push_back(text); }};
};
