#include "ScriptedDevice.h"

#include "sim/Transcript.h"

#include <algorithm>
#include <cstdio>
#include <cstring>

std::string HexDump(const Bytes& bytes) {
    return bytes.empty() ? "(none)"
                         : sim::HexBytes(bytes.data(), static_cast<ViUInt32>(bytes.size()));
}

ScriptedDevice& ScriptedDevice::Write(Bytes bytes, ViStatus status) {
    script_.push_back({true, std::move(bytes), status});
    return *this;
}

ScriptedDevice& ScriptedDevice::Read(std::string_view reply, ViStatus status) {
    script_.push_back({false, Bytes(reply.begin(), reply.end()), status});
    return *this;
}

void ScriptedDevice::NoteSleeps() {
    for (; sleepsSeen_ < clock_.sleeps.size(); ++sleepsSeen_)
        trail_.push_back("S" + std::to_string(clock_.sleeps[sleepsSeen_]));
}

std::vector<std::string> ScriptedDevice::Trail() {
    NoteSleeps();
    return trail_;
}

ViStatus ScriptedDevice::DeviceWrite(const void* bytes, ViUInt32 count) {
    NoteSleeps();
    trail_.push_back("W" + std::to_string(count));
    const auto* first = static_cast<const std::uint8_t*>(bytes);
    const Bytes received(first, first + count);
    if (next_ >= script_.size() || !script_[next_].isWrite) {
        ADD_FAILURE() << "unexpected write #" << next_ << ":\n" << HexDump(received);
        return VI_ERROR_IO;
    }
    const Exchange& expected = script_[next_++];
    if (received != expected.bytes)
        ADD_FAILURE() << "write #" << next_ - 1 << " differs\n expected:\n"
                      << HexDump(expected.bytes) << "\n received:\n"
                      << HexDump(received);
    return expected.status;
}

// Gives the reply as the instrument session does: NUL-terminated and upper-cased.
ViStatus ScriptedDevice::DeviceRead(char* buffer, ViUInt32 limit, ViUInt32& count) {
    NoteSleeps();
    trail_.push_back("R");
    if (next_ >= script_.size() || script_[next_].isWrite) {
        ADD_FAILURE() << "unexpected read #" << next_;
        return VI_ERROR_TMO;
    }
    const Exchange& reply = script_[next_++];
    count = static_cast<ViUInt32>(std::min<std::size_t>(reply.bytes.size(), limit));
    std::copy_n(reply.bytes.begin(), count, buffer);
    if (reply.status != VI_SUCCESS)
        return reply.status;
    buffer[count] = '\0';
    for (char* c = buffer; *c != '\0'; ++c)
        if (*c >= 'a' && *c <= 'z')
            *c = static_cast<char>(*c - 'a' + 'A');
    return VI_SUCCESS;
}
