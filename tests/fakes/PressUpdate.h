#pragma once

// One press of Update with the operator answering Yes, its outcome and log recorded, against
// whatever VISA backend is installed. Free of any test framework, so the fuzz targets run the
// update the same way the tests do.

#include "RecordingWindow.h"
#include "link/InstrumentSession.h"
#include "update/UpdateSequence.h"

#include <string>

struct UpdateRecord {
    UpdateOutcome outcome;
    std::string log;
};

// Presses Update once, the operator answering Yes.
inline UpdateRecord PressUpdate(const ImageInfo& image, Clock& clock) {
    RecordingWindow window;
    InstrumentSession session(window.devices);
    UpdateSequence sequence(session, image, window.Seams(clock));
    session.OpenResourceManager();
    const UpdateOutcome outcome = sequence.OnUpdate();
    session.CloseResourceManager();
    return {outcome, window.log.text()};
}
