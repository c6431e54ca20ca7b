#pragma once

// Raw VISA exchanges with a simulated instrument, for tests that speak its wire protocol.

#include "link/visa/Dispatch.h"

#include <cstdint>
#include <string>
#include <vector>

using Bytes = std::vector<std::uint8_t>;

struct ReadResult {
    ViStatus status;
    std::string text;
};

inline ViSession OpenDefaultRM() {
    ViSession rm = 0;
    visa::viOpenDefaultRM(&rm);
    return rm;
}

inline ViSession OpenSession(ViSession rm, const std::string& name) {
    ViSession vi = 0;
    visa::viOpen(rm, name.c_str(), VI_NO_LOCK, 1000, &vi);
    return vi;
}

inline ViStatus Send(ViSession vi, const Bytes& bytes) {
    ViUInt32 written = 0;
    return visa::viWrite(vi, bytes.data(), static_cast<ViUInt32>(bytes.size()), &written);
}

inline ViStatus Send(ViSession vi, const std::string& text) {
    return Send(vi, Bytes(text.begin(), text.end()));
}

inline ReadResult Receive(ViSession vi, ViUInt32 limit = 255) {
    std::string buffer(limit, '\0');
    ViUInt32 count = 0;
    ViStatus status = visa::viRead(vi, reinterpret_cast<ViBuf>(buffer.data()), limit, &count);
    buffer.resize(count);
    return {status, buffer};
}
