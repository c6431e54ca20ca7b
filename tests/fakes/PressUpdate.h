#pragma once

// One press of Update with the operator answering Yes, everything the window would show
// recorded, against whatever VISA backend is installed. Free of any test framework, so the
// fuzz targets run the update the same way the tests do.

#include "Fakes.h"
#include "link/InstrumentSession.h"
#include "update/UpdateSequence.h"

#include <string>
#include <vector>

struct UpdateRecord {
    UpdateOutcome outcome;
    std::string log;
    std::vector<ScriptedMessageBoxes::Shown> boxes;
};

// Presses Update once, the operator answering Yes.
inline UpdateRecord PressUpdate(const ImageInfo& image, Clock& clock) {
    RecordingLog log;
    FakeDeviceList devices;
    RecordingProgress progress;
    ScriptedMessageBoxes boxes;
    FakeBusyGuard busy;
    CountingPump pump;
    InstrumentSession session(devices);
    UpdateSequence sequence(session, image,
                            {log, devices, progress, progress, boxes, busy, pump, clock});
    session.OpenResourceManager();
    UpdateRecord record;
    record.outcome = sequence.OnUpdate();
    session.CloseResourceManager();
    record.log = log.text();
    record.boxes = boxes.shown;
    return record;
}
