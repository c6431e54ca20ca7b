#pragma once

#include "image/ImageInfo.h"
#include "status/StatusTable.h"

#include <string>
#include <string_view>

class BusyGuard;
class Clock;
class DeviceList;
class EventPump;
class InstrumentSession;
class Log;
class MessageBoxes;
class PowerHold;
class Progress;
class StepIndicator;
class UpdateJournal;

// What the window's controls and the terminal front end offer the update.
struct UpdateSeams {
    Log& log;
    DeviceList& devices;
    StepIndicator& step;
    Progress& progress;
    MessageBoxes& boxes;
    BusyGuard& busy;
    EventPump& pump;
    Clock& clock;
};

// How one press of Update ended. The window only shows it; the terminal front end turns it
// into its exit code.
struct UpdateOutcome {
    bool instrumentFound = false;
    // 0 after "Update is complete.", otherwise the one code handed to ReportStatus.
    StatusCode status = STATUS_COMPLETE;
};

// The whole update behind the Update button: search, connect, confirm, switch to the
// loader, check the revisions and flash the five segments of the loaded file.
class UpdateSequence {
public:
    // image is the window's loaded file; it is read at every run, so a new load is seen.
    UpdateSequence(InstrumentSession& session, const ImageInfo& image, const UpdateSeams& seams);

    UpdateOutcome OnUpdate();

    // Who records the runs and who keeps the PC awake while segments are flashed; nullptr
    // (the default) records nothing and holds nothing.
    void SetJournal(UpdateJournal* journal);
    void SetPowerHold(PowerHold* powerHold);

private:
    StatusCode RunSteps(int count);
    StatusCode ConnectAndConfirm(int count);
    StatusCode Confirm(int count, const std::string& resourceName);
    StatusCode SwitchToWriterIfNeeded();
    StatusCode IdentifyAndCheckRevisions();
    StatusCode UpdateSegments();
    void FinishRun();

    InstrumentSession& session_;
    const ImageInfo& image_;
    UpdateSeams seams_;
    UpdateJournal* journal_;
    PowerHold* powerHold_;
};

// The instrument's serial number as the operator knows it: the 10 characters from the first
// "TW" of the resource name (fewer when the name ends sooner; from the start without "TW").
std::string SerialNumberOf(std::string_view resourceName);
