#include "history/HistoryJournal.h"

#include "update/UpdateSequence.h"

#include <ctime>

namespace {

constexpr const char* SEGMENT_NAMES[] = {"FPGA1", "FPGA2", "FPGA3", "MAIN", "HTTP"};

void AddName(std::string& list, const char* name) {
    list += list.empty() ? name : std::string(" ") + name;
}

} // namespace

std::string UtcNow() {
    const std::time_t now = std::time(nullptr);
    std::tm utc{};
    gmtime_r(&now, &utc);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%d %H:%M:%S", &utc);
    return text;
}

HistoryJournal::HistoryJournal(std::string path, HistoryRecord record,
                               std::function<void(const std::string&)> report)
    : path_(std::move(path)), record_(std::move(record)), report_(std::move(report)) {}

void HistoryJournal::RunStarted(std::string_view resourceName) {
    started_ = std::chrono::steady_clock::now();
    record_.startedUtc = UtcNow();
    record_.resourceName = resourceName;
    record_.serialNumber = SerialNumberOf(resourceName);
    std::string error;
    usable_ = database_.Open(path_, HistoryDatabase::Access::Write, error) &&
              database_.Insert(record_, error);
    if (!usable_)
        report_(error);
}

void HistoryJournal::InstrumentRevision(std::string_view revisionField) {
    record_.instrumentRevision = revisionField;
}

void HistoryJournal::SegmentDone(int position, bool alreadyHeld) {
    if (position < 0 || position >= static_cast<int>(std::size(SEGMENT_NAMES)))
        return;
    AddName(alreadyHeld ? record_.segmentsHeld : record_.segmentsFlashed, SEGMENT_NAMES[position]);
    // Where a run stopped matters after a crash; the start and the end are what a power cut
    // must not take, so only they wait for the disk.
    Save(HistoryDatabase::Commit::Quick);
}

void HistoryJournal::RunEnded(StatusCode status) {
    record_.endedUtc = UtcNow();
    record_.state = "ended";
    record_.statusCode = status;
    record_.statusText = StatusText(status);
    record_.durationMs = std::chrono::duration_cast<std::chrono::milliseconds>(
                             std::chrono::steady_clock::now() - started_)
                             .count();
    Save(HistoryDatabase::Commit::Durable);
}

void HistoryJournal::Save(HistoryDatabase::Commit commit) {
    std::string error;
    if (usable_ && !database_.Update(record_, error, commit)) {
        usable_ = false;
        report_(error);
    }
}
