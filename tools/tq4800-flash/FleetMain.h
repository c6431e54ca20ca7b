#pragma once

#include "image/ImageInfo.h"
#include "tools/tq4800-flash/FlashOptions.h"

#include <string>

// The update of several instruments at once (--all, --device more than once), and of one
// with --json: one search, one question, one thread per instrument, a table of results.
// The exit code: 0 when every instrument completed, else the code of the first in the list
// that failed; EXIT_UNAVAILABLE or EXIT_USAGE when the instruments cannot be chosen.
// runId names this invocation in every JSON event.
int RunFleet(const FlashOptions& options, const ImageInfo& image, int descriptor,
             const std::string& runId);
