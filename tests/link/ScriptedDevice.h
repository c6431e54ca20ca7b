#pragma once

// A loader stand-in that plays a table of expected writes and the replies to give, for
// checking the command protocol byte by byte.

#include "LoaderFrames.h"
#include "fakes/Fakes.h"
#include "link/DeviceIo.h"

#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

std::string HexDump(const Bytes& bytes);

class ScriptedDevice final : public DeviceIo {
public:
    struct Exchange {
        bool isWrite;
        Bytes bytes; // what must be written, or the reply to give
        ViStatus status;
    };

    explicit ScriptedDevice(FakeClock& clock) : clock_(clock) {}

    ScriptedDevice& Write(Bytes bytes, ViStatus status = VI_SUCCESS);
    ScriptedDevice& Read(std::string_view reply, ViStatus status = VI_SUCCESS);

    ViStatus DeviceWrite(const void* bytes, ViUInt32 count) override;
    ViStatus DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) override;

    // True when every scripted exchange has taken place.
    bool Done() const { return next_ == script_.size(); }
    // What happened in order, sleeps included: "W12" (a write of 12 bytes), "R", "S10".
    std::vector<std::string> Trail();

private:
    void NoteSleeps();

    FakeClock& clock_;
    std::vector<Exchange> script_;
    std::size_t next_ = 0;
    std::size_t sleepsSeen_ = 0;
    std::vector<std::string> trail_;
};

inline constexpr ViStatus FAIL = VI_ERROR_IO;
