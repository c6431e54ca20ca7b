#include "history/UpdateHistory.h"

#include "history/HistoryJournal.h"
#include "history/ProcessIdentity.h"
#include "image/ValidateImage.h"

UpdateHistory::UpdateHistory(HistoryLocation location, std::string frontEnd, OnceNotice& notice,
                             std::string runId, std::chrono::milliseconds lockWait)
    : location_(std::move(location)), frontEnd_(std::move(frontEnd)), notice_(notice),
      runId_(std::move(runId)) {
    if (location_.off)
        return;
    RecordDeadRunsOf(location_, std::chrono::milliseconds(250));
    writer_ = std::make_unique<HistoryWriter>(location_, lockWait);
}

std::unique_ptr<UpdateJournal> UpdateHistory::JournalFor(const FirmwareFileFacts& file) {
    if (location_.off)
        return std::make_unique<NullUpdateJournal>();
    const ProcessIdentity& self = ThisProcess();
    HistoryRecord record;
    record.host = self.host;
    record.user = self.user;
    record.frontEnd = frontEnd_;
    record.processId = self.processId;
    record.processStart = self.processStart;
    record.bootId = self.bootId;
    record.utilityVersion = UTILITY_VERSION;
    record.runId = runId_;
    record.filePath = file.path;
    record.fileSize = file.size;
    record.fileSha256 = file.sha256;
    record.fileModel = file.model;
    record.fileRevision = file.revision;
    return std::make_unique<HistoryJournal>(
        *writer_, std::move(record), [this](const std::string& problem) {
            notice_(problem + "; the update runs on without it");
        });
}

FirmwareFileFacts UpdateHistory::FactsOfLoadedFile(const std::string& path, int descriptor,
                                                   const ImageInfo& image) {
    if (location_.off)
        return {};
    std::string problem;
    FirmwareFileFacts facts = DescribeLoadedFile(path, descriptor, image, problem);
    if (!problem.empty())
        notice_(problem);
    return facts;
}

std::unique_ptr<UpdateJournal> UpdateHistory::JournalFor(const std::string& path,
                                                         const ImageInfo& image) {
    if (location_.off)
        return std::make_unique<NullUpdateJournal>();
    std::string problem;
    const FirmwareFileFacts facts = DescribeFirmwareFile(path, image, problem);
    if (!problem.empty())
        notice_(problem);
    return JournalFor(facts);
}
