#pragma once

// A history file of its own for each test, the problems said about it, and whole updates on
// the simulated instrument recorded in it.

#include "fakes/ProgramRun.h"
#include "history/HistoryDatabase.h"
#include "history/UpdateHistory.h"
#include "image/ImageTestFiles.h"
#include "update/UpdateRig.h"

#include <gtest/gtest.h>

// The rows the SQL gives on the file at path, as the sqlite3 program prints them.
inline std::vector<std::string> SqlRows(const std::string& path, const std::string& sql) {
    const ProgramRun run = RunCommand("sqlite3 " + ShellWord(path) + " " + ShellWord(sql), "/");
    EXPECT_EQ(0, run.exitCode) << sql << "\n" << run.err;
    return Lines(run.out);
}

// The records of the history file at path, newest first, as its readers get them.
inline std::vector<HistoryRecord> Records(const std::string& path,
                                          const std::string& serialPrefix = "") {
    HistoryDatabase database;
    std::vector<HistoryRecord> records;
    std::string error;
    EXPECT_TRUE(database.Open(path, HistoryDatabase::Access::Read, error) &&
                database.Read(serialPrefix, 0, records, error))
        << error;
    return records;
}

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

    // The journal of a run of the instrument serial that has just started.
    static std::unique_ptr<UpdateJournal> StartRun(UpdateHistory& history,
                                                   const std::string& serial) {
        std::unique_ptr<UpdateJournal> journal =
            history.JournalFor(FirmwareFileFacts{"f.bin", 1, "", "TQ4800", "1.10"});
        journal->RunStarted("USB0::0x1D7A::0x52C1::" + serial + "::INSTR");
        return journal;
    }

    const std::string file = Path("state/tq4800-update/history.sqlite3");
    std::vector<std::string> notices;
    OnceNotice notice_{[this](const std::string& text) { notices.push_back(text); }};
};
