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

HistoryJournal::HistoryJournal(HistoryWriter& writer, HistoryRecord record,
                               std::function<void(const std::string&)> report)
    : writer_(writer), record_(std::move(record)), report_(std::move(report)),
      key_(writer.NewKey()) {}

// Until the operator confirms, the run reads as declined: a "No" or a Ctrl-C at the question
// leaves it so, and nothing was written to the instrument.
void HistoryJournal::RunStarted(std::string_view resourceName) {
    record_.startedUtc = UtcNow();
    record_.resourceName = resourceName;
    record_.serialNumber = SerialNumberOf(resourceName);
    End(STATUS_CANCELLED);
    Save(HistoryDatabase::Commit::Quick);
}

void HistoryJournal::RunConfirmed() {
    confirmed_ = std::chrono::steady_clock::now();
    record_.confirmedUtc = UtcNow();
    record_.endedUtc.clear();
    record_.state = "running";
    record_.statusCode.reset();
    record_.statusText.clear();
    Save(HistoryDatabase::Commit::Durable);
}

void HistoryJournal::InstrumentRevision(std::string_view revisionField) {
    record_.instrumentRevision = revisionField;
}

void HistoryJournal::SegmentDone(int position, bool alreadyHeld) {
    if (position < 0 || position >= static_cast<int>(std::size(SEGMENT_NAMES)))
        return;
    AddName(alreadyHeld ? record_.segmentsHeld : record_.segmentsFlashed, SEGMENT_NAMES[position]);
    // Where a run stopped matters after a crash; the confirmation and the end are what a
    // power cut must not take, so only they wait for the disk.
    Save(HistoryDatabase::Commit::Quick);
}

void HistoryJournal::RunEnded(StatusCode status) {
    End(status);
    Save(HistoryDatabase::Commit::Durable);
}

void HistoryJournal::End(StatusCode status) {
    record_.endedUtc = UtcNow();
    record_.state = "ended";
    record_.statusCode = status;
    record_.statusText = StatusText(status);
    record_.durationMs = record_.confirmedUtc.empty()
                             ? 0
                             : std::chrono::duration_cast<std::chrono::milliseconds>(
                                   std::chrono::steady_clock::now() - confirmed_)
                                   .count();
}

void HistoryJournal::Save(HistoryDatabase::Commit commit) {
    const std::string problem = writer_.Save(key_, record_, commit);
    if (!problem.empty())
        report_(problem);
}
