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

void InstrumentPort::Deliver(const Bytes& message) {
    if (testCommands_ && TestCommand(message))
        return;
    instrument_.Write(boot_, message.data(), static_cast<std::uint32_t>(message.size()));
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
    } else if (Begins(message, "TEST:SILENT?")) {
        return true; // a query never answered: the host's read times out
    } else {
        return false;
    }
    testReplyOffset_ = 0;
    testReplyReady_ = true;
    return true;
}

bool InstrumentPort::Reply(std::uint32_t limit, std::uint32_t waitMs, Bytes& data, bool& end) {
    {
        const std::lock_guard lock(mutex_);
        if (testReplyReady_) {
            const std::size_t count =
                std::min<std::size_t>(limit, testReply_.size() - testReplyOffset_);
            data.assign(testReply_.begin() + testReplyOffset_,
                        testReply_.begin() + testReplyOffset_ + count);
            testReplyOffset_ += count;
            end = testReplyOffset_ == testReply_.size();
            testReplyReady_ = !end;
            return true;
        }
    }
    data.resize(limit);
    std::uint32_t count = 0;
    end = false;
    const ViStatus status = instrument_.Read(boot_, data.data(), limit, waitMs, count, end);
    data.resize(count);
    return status == VI_SUCCESS;
}

} // namespace kernelusb
