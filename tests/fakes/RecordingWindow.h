#pragma once

// The recording fakes of the window's seams, together, as the update sequence takes them.

#include "Fakes.h"
#include "update/UpdateSequence.h"

struct RecordingWindow {
    UpdateSeams Seams(Clock& clock) {
        return {log, devices, progress, progress, boxes, busy, pump, clock};
    }

    RecordingLog log;
    FakeDeviceList devices;
    RecordingProgress progress;
    ScriptedMessageBoxes boxes;
    CountingPump pump;
    FakeBusyGuard busy;
    RecordingJournal journal;
    RecordingPowerHold power{busy.events};
};
