#include "tests/kernel-usb/InstrumentPort.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace kernelusb {
namespace {

bool Begins(const Bytes& message, std::string_view prefix) {
    return message.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), message.begin());
}

} // namespace

InstrumentPort::InstrumentPort(sim::Instrument& instrument, bool testCommands)
    : instrument_(instrument), boot_(instrument.Boot()), testCommands_(testCommands) {}

ViStatus InstrumentPort::Write(const ViByte* data, ViUInt32 count, ViUInt32, ViUInt32& written) {
    written = count;
    if (testCommands_ && TestCommand(Bytes(data, data + count)))
        return VI_SUCCESS;
    return instrument_.Write(boot_, data, count);
}

bool InstrumentPort::TestCommand(const Bytes& message) {
    const std::lock_guard lock(mutex_);
    if (Begins(message, "TEST:REPLY? ")) {
        const std::string text(message.begin() + 12, message.end());
        testReply_ = PatternReply(std::stoul(text));
    } else if (Begins(message, "TEST:DATA?")) {
        testReply_.assign(lastDigest_.begin(), lastDigest_.end());
    } else if (Begins(message, "TEST:DATA")) {
        lastDigest_ = MessageDigest(message.data(), message.size());
        return true;
    } else {
        // TEST:SILENT? is a query never answered: the host's read times out.
        return Begins(message, "TEST:SILENT?");
    }
    testReplyOffset_ = 0;
    testReplyReady_ = true;
    return true;
}

ViStatus InstrumentPort::Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                              bool& end) {
    {
        const std::lock_guard lock(mutex_);
        if (testReplyReady_) {
            count = static_cast<ViUInt32>(
                std::min<std::size_t>(limit, testReply_.size() - testReplyOffset_));
            std::copy_n(testReply_.begin() + testReplyOffset_, count, buffer);
            testReplyOffset_ += count;
            end = testReplyOffset_ == testReply_.size();
            testReplyReady_ = !end;
            return VI_SUCCESS;
        }
    }
    return instrument_.Read(boot_, buffer, limit, timeoutMs, count, end);
}

} // namespace kernelusb
