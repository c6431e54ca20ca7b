#include "update/UpdateSequence.h"

#include "link/InstrumentSession.h"
#include "link/RevisionCheck.h"
#include "link/SegmentTransfer.h"
#include "seams/BusyGuard.h"
#include "seams/Clock.h"
#include "seams/DeviceList.h"
#include "seams/Log.h"
#include "seams/MessageBoxes.h"
#include "seams/PowerHold.h"
#include "seams/Progress.h"
#include "seams/UpdateJournal.h"

#include <cstring>

namespace {

// The loader needs this long to come back after "syst:update"; nothing is pumped meanwhile.
constexpr std::uint32_t WRITER_REBOOT_WAIT_MS = 2500;

struct SegmentStep {
    const char* stepText;
    const char* logLine;
};

// One row per segment of the file, in file order: FPGA1, FPGA2, FPGA3, MAIN, HTTP.
constexpr SegmentStep SEGMENT_STEPS[SEGMENT_COUNT] = {
    {"1 / 5", "-> Update 1C3\r\n"},     {"2 / 5", "-> Update 1C6DDS\r\n"},
    {"3 / 5", "-> Update 1C6POUT\r\n"}, {"4 / 5", "-> Update MAIN\r\n"},
    {"5 / 5", "-> Update HTTP\r\n"},
};

constexpr char OK_LINE[] = "OK\r\n";

std::string_view FixedText(const char* field, std::size_t size) {
    return {field, strnlen(field, size)};
}

// The segment transfer logs "OK\r\n" after "Write to flash ... " only when the loader
// programmed the flash; a segment the loader already holds ends without it. Watching the
// log is how the sequence tells the two apart without asking more of the transfer.
class FlashResultWatch final : public Log {
public:
    explicit FlashResultWatch(Log& log) : log_(log) {}
    void AppendLog(std::string_view text) override {
        lastWasOk_ = text == OK_LINE;
        log_.AppendLog(text);
    }
    void ClearLog() override { log_.ClearLog(); }
    void ReportStatus(StatusCode code) override { log_.ReportStatus(code); }
    bool LastSegmentAlreadyHeld() const { return !lastWasOk_; }

private:
    Log& log_;
    bool lastWasOk_ = false;
};

NullUpdateJournal NO_JOURNAL;
NullPowerHold NO_POWER_HOLD;

ViStatus WriteText(InstrumentSession& session, const std::string& text) {
    return session.DeviceWrite(text.data(), static_cast<ViUInt32>(text.size()));
}

} // namespace

std::string SerialNumberOf(std::string_view resourceName) {
    std::size_t start = resourceName.find("TW");
    if (start == std::string_view::npos)
        start = 0;
    return std::string(resourceName.substr(start, 10));
}

UpdateSequence::UpdateSequence(InstrumentSession& session, const ImageInfo& image,
                               const UpdateSeams& seams)
    : session_(session), image_(image), seams_(seams), journal_(&NO_JOURNAL),
      powerHold_(&NO_POWER_HOLD) {}

void UpdateSequence::SetJournal(UpdateJournal* journal) {
    journal_ = journal != nullptr ? journal : &NO_JOURNAL;
}

void UpdateSequence::SetPowerHold(PowerHold* powerHold) {
    powerHold_ = powerHold != nullptr ? powerHold : &NO_POWER_HOLD;
}

UpdateOutcome UpdateSequence::OnUpdate() {
    seams_.log.ClearLog();
    const std::string remembered = seams_.devices.CurrentText();
    const int count = session_.FindInstruments();
    if (count == 0) {
        seams_.boxes.ShowMessage("No instrument found.", "Search Instrument", MessageButtons::Ok,
                                 MessageIcon::Information);
        return {false, STATUS_COMPLETE};
    }
    seams_.devices.SelectPrefixOrFirst(remembered);
    // A list that takes only some instruments (the terminal's --device) selects none when
    // none of them is on the bus any more; its front end says so.
    if (seams_.devices.CurrentText().empty())
        return {false, STATUS_COMPLETE};
    journal_->RunStarted(seams_.devices.CurrentText());

    const StatusCode status = RunSteps(count);
    // The run's record and the PC end with the flash, not when the operator has read the
    // box that follows.
    powerHold_->Release();
    journal_->RunEnded(status);
    if (status == STATUS_COMPLETE) {
        seams_.log.AppendLog("--------------- Completed ---------------");
        seams_.boxes.ShowMessage("Update is complete.", "Firmware Update", MessageButtons::Ok,
                                 MessageIcon::Information);
    } else {
        seams_.log.ReportStatus(status);
    }
    FinishRun();
    return {true, status};
}

// From the connection to the last segment; the first non-zero code ends the steps.
StatusCode UpdateSequence::RunSteps(int count) {
    if (StatusCode status = ConnectAndConfirm(count); status != STATUS_COMPLETE)
        return status;
    journal_->RunConfirmed();
    // Asked before the switch, so that whatever the hold waits for, the instrument never
    // waits in its loader.
    powerHold_->Hold(seams_.devices.CurrentText());
    if (StatusCode status = SwitchToWriterIfNeeded(); status != STATUS_COMPLETE)
        return status;
    seams_.busy.SetBusy();
    if (StatusCode status = IdentifyAndCheckRevisions(); status != STATUS_COMPLETE)
        return status;
    return UpdateSegments();
}

StatusCode UpdateSequence::ConnectAndConfirm(int count) {
    const std::string resourceName = seams_.devices.CurrentText();
    seams_.log.AppendLog("Connect ... ");
    if (StatusCode status = session_.ConnectDevice(); status != STATUS_COMPLETE)
        return status;
    if (WriteText(session_, "DISP:TEXT \"" + resourceName + "\"\n") != VI_SUCCESS)
        return STATUS_WRITE_FAILED;
    seams_.log.AppendLog(OK_LINE);
    return Confirm(count, resourceName);
}

StatusCode UpdateSequence::Confirm(int count, const std::string& resourceName) {
    const std::string question = "Are you sure you want to update " +
                                 std::string(FixedText(image_.ModelName, sizeof image_.ModelName)) +
                                 " SN:" + SerialNumberOf(resourceName) + "?";
    const std::string text =
        count == 1 ? question : std::to_string(count) + " instruments are Found. " + question;
    const MessageAnswer answer = seams_.boxes.ShowMessage(
        text, "Confirm Firmware Update", MessageButtons::YesNo, MessageIcon::Question);
    if (answer == MessageAnswer::Yes)
        return STATUS_COMPLETE;
    if (WriteText(session_, "DISP:TEXT:CLEAR\n") != VI_SUCCESS)
        return STATUS_WRITE_FAILED;
    return STATUS_CANCELLED;
}

// An instrument already in its loader answers "WRITER" and is used as it is. A first query
// that could not be written or read is not an error yet: the query after the switch step
// decides.
StatusCode UpdateSequence::SwitchToWriterIfNeeded() {
    std::string reply;
    if (session_.QueryIdentity(reply) != STATUS_NOT_COMPLETE)
        return STATUS_COMPLETE;
    seams_.log.AppendLog("To Writer ... ");
    if (StatusCode status = session_.EnterWriterMode(); status != STATUS_COMPLETE)
        return status;
    seams_.clock.SleepMs(WRITER_REBOOT_WAIT_MS);
    seams_.log.AppendLog(OK_LINE);
    seams_.log.AppendLog("Connect ... ");
    if (StatusCode status = session_.ConnectDevice(); status != STATUS_COMPLETE)
        return status;
    seams_.log.AppendLog(OK_LINE);
    return STATUS_COMPLETE;
}

// The loader's identity reply carries the revision field every segment is compared with.
StatusCode UpdateSequence::IdentifyAndCheckRevisions() {
    std::string reply;
    seams_.log.AppendLog("Testing ... ");
    if (StatusCode status = session_.QueryIdentity(reply); status != STATUS_COMPLETE)
        return status;
    const char* field = FindRevisionField(reply.c_str());
    journal_->InstrumentRevision(field != nullptr ? field : reply.c_str());
    seams_.log.AppendLog(OK_LINE);
    seams_.log.AppendLog("Check Revision ... ");
    for (const SegmentImage& segment : image_.segments) {
        StatusCode status = CheckRevision(segment.type, segment.revision, reply.c_str());
        if (status != STATUS_COMPLETE)
            return status;
    }
    seams_.log.AppendLog(OK_LINE);
    return STATUS_COMPLETE;
}

StatusCode UpdateSequence::UpdateSegments() {
    seams_.busy.SetUpdating(true);
    FlashResultWatch watchedLog(seams_.log);
    SegmentTransfer transfer(session_, seams_.clock, watchedLog, seams_.progress, seams_.pump);
    for (int index = 0; index < SEGMENT_COUNT; ++index) {
        seams_.step.SetStepText(SEGMENT_STEPS[index].stepText);
        seams_.log.AppendLog(SEGMENT_STEPS[index].logLine);
        StatusCode status =
            transfer.UpdateSegment(image_.segments[static_cast<std::size_t>(index)]);
        if (status != STATUS_COMPLETE)
            return status;
        journal_->SegmentDone(index, watchedLog.LastSegmentAlreadyHeld());
    }
    return STATUS_COMPLETE;
}

// Every run that found an instrument ends here, completed or not: the session is closed,
// "..." and Update are enabled again, and the window may be closed again, since nothing
// runs any more after a failed segment either.
void UpdateSequence::FinishRun() {
    session_.DisconnectDevice();
    seams_.busy.ClearBusy();
    seams_.busy.SetUpdating(false);
}
