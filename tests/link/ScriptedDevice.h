#pragma once

// A loader stand-in that plays a table of expected writes and the replies to give, for
// checking the command protocol byte by byte.

#include "LoaderFrames.h"
#include "fakes/Fakes.h"
#include "link/DeviceIo.h"

#include <algorithm>
#include <cstdint>
#include <gtest/gtest.h>
#include <string>
#include <vector>

inline constexpr ViStatus FAIL = VI_ERROR_IO;

class ScriptedDevice final : public DeviceIo {
public:
    explicit ScriptedDevice(FakeClock& clock) : clock_(clock) {}

    ScriptedDevice& Write(Bytes bytes, ViStatus status = VI_SUCCESS) {
        script_.push_back({true, std::move(bytes), status});
        return *this;
    }
    ScriptedDevice& Read(std::string_view reply, ViStatus status = VI_SUCCESS) {
        script_.push_back({false, Bytes(reply.begin(), reply.end()), status});
        return *this;
    }

    ViStatus DeviceWrite(const void* bytes, ViUInt32 count) override {
        const Exchange* expected = Next("W" + std::to_string(count), true);
        if (!expected)
            return VI_ERROR_IO;
        const auto* first = static_cast<const std::uint8_t*>(bytes);
        EXPECT_EQ(Bytes(first, first + count), expected->bytes) << "write #" << next_ - 1;
        return expected->status;
    }
    // Gives the reply NUL-terminated, as the instrument session does.
    ViStatus DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) override {
        const Exchange* reply = Next("R", false);
        if (!reply)
            return VI_ERROR_TMO;
        count = static_cast<ViUInt32>(std::min<std::size_t>(reply->bytes.size(), limit));
        std::copy_n(reply->bytes.begin(), count, buffer);
        if (reply->status == VI_SUCCESS)
            buffer[count] = '\0';
        return reply->status;
    }

    // True when every scripted exchange has taken place.
    bool Done() const { return next_ == script_.size(); }
    // What happened in order, sleeps included: "W12" (a write of 12 bytes), "R", "S10".
    std::vector<std::string> Trail() {
        NoteSleeps();
        return trail_;
    }

private:
    struct Exchange {
        bool isWrite;
        Bytes bytes; // what must be written, or the reply to give
        ViStatus status;
    };

    // The next exchange of the script when it is of the kind that happens, else a failure.
    const Exchange* Next(const std::string& happened, bool isWrite) {
        NoteSleeps();
        trail_.push_back(happened);
        if (next_ < script_.size() && script_[next_].isWrite == isWrite)
            return &script_[next_++];
        ADD_FAILURE() << "unexpected " << happened << " as exchange #" << next_;
        return nullptr;
    }
    void NoteSleeps() {
        for (; sleepsSeen_ < clock_.sleeps.size(); ++sleepsSeen_)
            trail_.push_back("S" + std::to_string(clock_.sleeps[sleepsSeen_]));
    }

    FakeClock& clock_;
    std::vector<Exchange> script_;
    std::size_t next_ = 0;
    std::size_t sleepsSeen_ = 0;
    std::vector<std::string> trail_;
};
