#pragma once

// The whole update of a small accepted firmware file against the instruments of a VISA
// resource provider, as the fuzz targets of the instrument's replies run it: the operator
// answers Yes, and every wait is a sleep on the clock given.

#include "image/ImageFile.h"
#include "link/visa/Connection.h"
#include "seams/Clock.h"
#include "update/UpdateSequence.h"

#include <memory>
#include <string>

const ImageInfo& FuzzImage();

// The outcome; log is what the window's log would hold.
UpdateOutcome RunWholeUpdate(std::unique_ptr<visa::ResourceProvider> instruments, Clock& clock,
                             std::string& log);
