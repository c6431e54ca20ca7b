#pragma once

// A history file of its own for each test, the problems said about it, and whole updates on
// the simulated instrument recorded in it.

#include "history/HistoryDatabase.h"
#include "history/UpdateHistory.h"
#include "image/ImageTestFiles.h"
#include "update/UpdateRig.h"

#include <gtest/gtest.h>
#include <sqlite3.h>

// The last column of each row the SQL gives on the file at path, as sqlite3 itself reads it.
inline std::vector<std::string> SqlRows(const std::string& path, const std::string& sql) {
    std::vector<std::string> rows;
    sqlite3* connection = nullptr;
    EXPECT_EQ(SQLITE_OK, sqlite3_open(path.c_str(), &connection));
    const auto add = [](void* list, int count, char** values, char**) {
        const char* last = values[count - 1];
        static_cast<std::vector<std::string>*>(list)->push_back(last != nullptr ? last : "");
        return 0;
    };
    EXPECT_EQ(SQLITE_OK, sqlite3_exec(connection, sql.c_str(), add, &rows, nullptr)) << sql;
    sqlite3_close(connection);
    return rows;
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

    static std::vector<HistoryRecord> Records(const std::string& path,
                                              const std::string& serialPrefix = "") {
        HistoryDatabase database;
        std::vector<HistoryRecord> records;
        std::string error;
        EXPECT_TRUE(database.Open(path, HistoryDatabase::Access::Read, error) &&
                    database.Read(serialPrefix, 0, records, error))
            << error;
        return records;
    }

    const std::string file = Path("state/tq4800-update/history.sqlite3");
    std::vector<std::string> notices;
    OnceNotice notice_{[this](const std::string& text) { notices.push_back(text); }};
};
