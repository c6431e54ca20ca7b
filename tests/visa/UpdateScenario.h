#pragma once

// A whole update of a small firmware file, run against whatever VISA backend is installed,
// with everything an operator would see recorded.

#include "fakes/Fakes.h"
#include "fakes/PressUpdate.h"
#include "image/ImageTestFiles.h"
#include "image/ImageWriter.h"
#include "link/InstrumentSession.h"
#include "update/UpdateSequence.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

// The test firmware with its MAIN segment a few writes of data long.
inline ImageInfo SmallFirmwareImage() {
    ImageInfo image;
    EXPECT_EQ(STATUS_COMPLETE, LoadBytes(WriteImageFile(TestFirmware(5000)), image));
    return image;
}

// The messages that crossed the wire ("write HEX", "read HEX"), without session numbers.
inline std::vector<std::string> WireTraffic(const std::vector<std::string>& transcript) {
    std::vector<std::string> traffic;
    for (const std::string& line : transcript) {
        const std::size_t verb = line.find(' ');
        const std::string kind = line.substr(0, verb);
        if (kind == "write" || kind == "read")
            traffic.push_back(kind + line.substr(line.find(' ', verb + 1)));
    }
    return traffic;
}
