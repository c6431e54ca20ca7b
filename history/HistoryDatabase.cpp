#include "history/HistoryDatabase.h"

#include "history/HistoryColumns.h"
#include "history/HistoryFiles.h"
#include "history/HistorySchema.h"
#include "history/ProcessIdentity.h"

#include <filesystem>
#include <memory>
#include <sqlite3.h>
#include <thread>

namespace {

using Statement = std::unique_ptr<sqlite3_stmt, decltype(&sqlite3_finalize)>;
using Clock = std::chrono::steady_clock;

bool IsInterrupted(const HistoryRecord& record) {
    return record.state == "running" && !IsStillRunning({record.host, record.user, record.processId,
                                                         record.processStart, record.bootId});
}

// LIKE with the prefix taken literally.
std::string LikePattern(std::string_view prefix) {
    std::string pattern;
    for (char c : prefix) {
        if (c == '%' || c == '_' || c == '\\')
            pattern += '\\';
        pattern += c;
    }
    return pattern + "%";
}

bool IsBusy(sqlite3* connection) {
    const int code = sqlite3_errcode(connection) & 0xff;
    return code == SQLITE_BUSY || code == SQLITE_LOCKED;
}

} // namespace

HistoryDatabase::~HistoryDatabase() {
    sqlite3_close_v2(connection_);
}

std::string HistoryDatabase::Failure(std::string_view what) const {
    const char* reason = connection_ != nullptr ? sqlite3_errmsg(connection_) : "out of memory";
    return "update history " + path_ + ": " + std::string(what) + ": " + reason;
}

bool HistoryDatabase::Execute(const std::string& sql, std::string& error) {
    if (sqlite3_exec(connection_, sql.c_str(), nullptr, nullptr, nullptr) == SQLITE_OK)
        return true;
    error = Failure("cannot be written");
    return false;
}

// Ends a failed transaction; the caller's error already says why.
bool HistoryDatabase::Rollback() {
    std::string ignored;
    Execute("ROLLBACK", ignored);
    return false;
}

void HistoryDatabase::StartWaiting() {
    deadline_ = Clock::now() + lockWait_;
}

// SQLite asks again and again while another connection holds the lock; the answer is no
// once the deadline of the open or of the write has passed.
int HistoryDatabase::WaitWhileBusy(void* self, int) {
    if (Clock::now() >= static_cast<HistoryDatabase*>(self)->deadline_)
        return 0;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
    return 1;
}

bool HistoryDatabase::OpenConnection(const std::string& uri, int flags, std::string& error) {
    sqlite3_close_v2(connection_);
    connection_ = nullptr;
    if (sqlite3_open_v2(uri.c_str(), &connection_, flags | SQLITE_OPEN_NOMUTEX, nullptr) !=
        SQLITE_OK) {
        error = Failure("cannot be opened");
        return false;
    }
    sqlite3_busy_handler(connection_, WaitWhileBusy, this);
    return true;
}

bool HistoryDatabase::SchemaVersion(int& version, std::string& error) {
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, "PRAGMA user_version", -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be read");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    if (sqlite3_step(raw) != SQLITE_ROW) {
        error = Failure("cannot be read");
        return false;
    }
    version = sqlite3_column_int(raw, 0);
    if (version > HISTORY_SCHEMA_VERSION) {
        error = "update history " + path_ + ": schema version " + std::to_string(version) +
                " is newer than version " + std::to_string(HISTORY_SCHEMA_VERSION) +
                " that this program knows; the file is left as it is";
        return false;
    }
    return true;
}

// The table is made or upgraded inside one write transaction, after the version is read
// again, so two programs that find an old or new file at the same moment change it once.
bool HistoryDatabase::PrepareSchema(std::string& error) {
    if (!SchemaVersion(version_, error))
        return false;
    const bool network = OnNetworkFileSystem(path_);
    if (!Execute(network ? "PRAGMA journal_mode = DELETE" : "PRAGMA journal_mode = WAL", error))
        return false;
    if (version_ == HISTORY_SCHEMA_VERSION)
        return true;
    if (!Execute("BEGIN IMMEDIATE", error))
        return false;
    if (!SchemaVersion(version_, error))
        return Rollback();
    if (version_ < HISTORY_SCHEMA_VERSION && !UpgradeSchema(connection_, version_)) {
        error = Failure("cannot be upgraded");
        return Rollback();
    }
    if (!Execute("COMMIT", error))
        return Rollback();
    version_ = HISTORY_SCHEMA_VERSION;
    return true;
}

// Switching a file to WAL can be refused as busy without the busy wait being asked; such a
// refusal is tried again until the open's deadline.
bool HistoryDatabase::PrepareSchemaBeforeDeadline(std::string& error) {
    for (;;) {
        if (PrepareSchema(error))
            return true;
        if (!IsBusy(connection_) || Clock::now() >= deadline_)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

// A reader who may not write the file or its folder cannot make the shared-memory file of a
// WAL-mode history; when no writer has one open either, the file cannot change meanwhile
// and is read as it stands.
bool HistoryDatabase::OpenForReading(std::string& error) {
    if (OpenConnection(path_, SQLITE_OPEN_READONLY, error) && SchemaVersion(version_, error))
        return true;
    if (error.find("is newer than version") != std::string::npos)
        return false;
    std::string second;
    if (OpenConnection(FileUri(path_) + "?immutable=1", SQLITE_OPEN_READONLY | SQLITE_OPEN_URI,
                       second) &&
        SchemaVersion(version_, second))
        return true;
    if (second.find("is newer than version") != std::string::npos)
        error = second;
    return false;
}

bool HistoryDatabase::Open(const std::string& path, Access access, std::string& error) {
    path_ = path;
    StartWaiting();
    if (access == Access::Read)
        return OpenForReading(error);
    std::error_code ignored;
    const std::filesystem::path folder = std::filesystem::path(path).parent_path();
    if (!folder.empty())
        std::filesystem::create_directories(folder, ignored);
    return OpenConnection(path, SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE, error) &&
           PrepareSchemaBeforeDeadline(error) && Execute("PRAGMA synchronous = FULL", error);
}

bool HistoryDatabase::WriteRecord(HistoryRecord& record, std::string& error) {
    const std::string sql = record.id == 0 ? InsertStatement() : UpdateStatement();
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be written");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    BindRecord(raw, record);
    if (sqlite3_step(raw) != SQLITE_DONE) {
        error = Failure("cannot be written");
        return false;
    }
    if (record.id == 0)
        record.id = sqlite3_last_insert_rowid(connection_);
    return true;
}

// In WAL mode, FULL waits for the disk at every commit; NORMAL only at checkpoints, and a
// later FULL commit makes the commits before it durable too.
bool HistoryDatabase::UseCommit(Commit commit, std::string& error) {
    if (commit == commit_)
        return true;
    commit_ = commit;
    return Execute(commit == Commit::Durable ? "PRAGMA synchronous = FULL"
                                             : "PRAGMA synchronous = NORMAL",
                   error);
}

bool HistoryDatabase::Save(const std::vector<HistoryRecord*>& records, Commit commit,
                           std::string& error) {
    StartWaiting();
    if (!UseCommit(commit, error) || !Execute("BEGIN IMMEDIATE", error))
        return false;
    for (HistoryRecord* record : records)
        if (!WriteRecord(*record, error))
            return Rollback();
    return Execute("COMMIT", error) || Rollback();
}

bool HistoryDatabase::Read(std::string_view serialPrefix, int limit,
                           std::vector<HistoryRecord>& records, std::string& error) {
    records.clear();
    if (version_ == 0)
        return true;
    const std::string sql = ListingQuery(version_, !serialPrefix.empty());
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, sql.c_str(), -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be read");
        return false;
    }
    Statement statement(raw, sqlite3_finalize);
    const std::string pattern = LikePattern(serialPrefix);
    sqlite3_bind_text(raw, 1, pattern.c_str(), -1, SQLITE_TRANSIENT);
    sqlite3_bind_int(raw, 2, limit > 0 ? limit : -1);
    int step;
    while ((step = sqlite3_step(raw)) == SQLITE_ROW) {
        records.push_back(FetchRecord(raw));
        if (IsInterrupted(records.back()))
            records.back().state = "interrupted";
    }
    if (step != SQLITE_DONE) {
        error = Failure("cannot be read");
        return false;
    }
    return true;
}

bool HistoryDatabase::RecordDeadRuns(std::string& error) {
    StartWaiting();
    if (!Execute("BEGIN IMMEDIATE", error))
        return false;
    sqlite3_stmt* raw = nullptr;
    if (sqlite3_prepare_v2(connection_, RUNNING_QUERY, -1, &raw, nullptr) != SQLITE_OK) {
        error = Failure("cannot be read");
        return Rollback();
    }
    Statement running(raw, sqlite3_finalize);
    const ProcessIdentity& self = ThisProcess();
    sqlite3_bind_text(raw, 1, self.host.c_str(), -1, SQLITE_TRANSIENT);
    std::vector<std::int64_t> dead;
    while (sqlite3_step(raw) == SQLITE_ROW) {
        const auto bootId = reinterpret_cast<const char*>(sqlite3_column_text(raw, 3));
        if (!IsStillRunning({self.host, self.user, sqlite3_column_int64(raw, 1),
                             sqlite3_column_int64(raw, 2), bootId != nullptr ? bootId : ""}))
            dead.push_back(sqlite3_column_int64(raw, 0));
    }
    for (const std::int64_t id : dead)
        if (!Execute("UPDATE updates SET state = 'interrupted' WHERE id = " + std::to_string(id),
                     error))
            return Rollback();
    return Execute("COMMIT", error) || Rollback();
}
