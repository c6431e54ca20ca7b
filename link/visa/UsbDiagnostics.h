#pragma once

// The usb backend's messages to the operator. Instruments used from several threads may
// report at the same time; each message still reaches the stream as one whole line.

#include <mutex>
#include <ostream>
#include <sstream>
#include <string>

namespace visa {

class UsbDiagnostics {
public:
    explicit UsbDiagnostics(std::ostream& out) : out_(out) {}

    template <typename... Parts> void Say(const Parts&... parts) {
        std::ostringstream line;
        (line << ... << parts);
        const std::lock_guard lock(mutex_);
        out_ << line.str() << std::flush;
    }

private:
    std::ostream& out_;
    std::mutex mutex_;
};

} // namespace visa
