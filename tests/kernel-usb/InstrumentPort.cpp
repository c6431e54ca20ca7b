#include "tests/kernel-usb/InstrumentPort.h"

#include <algorithm>
#include <string>
#include <string_view>

namespace kernelusb {

InstrumentPort::InstrumentPort(sim::Instrument& instrument)
    : instrument_(instrument), boot_(instrument.Boot()) {}

ViStatus InstrumentPort::Write(const ViByte* data, ViUInt32 count, ViUInt32, ViUInt32& written) {
    written = count;
    if (TestCommand(data, count))
        return VI_SUCCESS;
    return instrument_.Write(boot_, data, count);
}

bool InstrumentPort::TestCommand(const ViByte* data, ViUInt32 count) {
    const std::string_view message(reinterpret_cast<const char*>(data), count);
    const std::lock_guard lock(mutex_);
    if (message.starts_with("TEST:REPLY? ")) {
        testReply_ = PatternReply(std::stoul(std::string(message.substr(12))));
    } else if (message.starts_with("TEST:DATA?")) {
        testReply_ = lastData_;
    } else if (message.starts_with("TEST:DATA")) {
        lastData_.assign(data, data + count);
        return true;
    } else {
        // TEST:SILENT? is a query never answered: the host's read times out.
        return message.starts_with("TEST:SILENT?");
    }
    testReplyReady_ = true;
    return true;
}

ViStatus InstrumentPort::Read(ViByte* buffer, ViUInt32 limit, ViUInt32 timeoutMs, ViUInt32& count,
                              bool& end) {
    {
        const std::lock_guard lock(mutex_);
        if (testReplyReady_) {
            count = static_cast<ViUInt32>(std::min<std::size_t>(limit, testReply_.size()));
            std::copy_n(testReply_.begin(), count, buffer);
            testReply_.erase(testReply_.begin(), testReply_.begin() + count);
            end = testReply_.empty();
            testReplyReady_ = !end;
            return VI_SUCCESS;
        }
    }
    return instrument_.Read(boot_, buffer, limit, timeoutMs, count, end);
}

} // namespace kernelusb
