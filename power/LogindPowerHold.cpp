#include "power/LogindPowerHold.h"

#include "power/SystemBus.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace {

constexpr char WHAT[] = "sleep:shutdown:handle-lid-switch";
constexpr char WHO[] = "TQ4800 firmware update";
constexpr char MODE[] = "block";

// The bus and logind together get this long; the update never waits longer for them.
constexpr std::chrono::milliseconds HOLD_WAIT{2000};

std::string NotHeld(const std::string& reason) {
    return "the PC is not held awake during the update (" + reason + "); the update runs on";
}

std::string Refused(int result, const sd_bus_error& error) {
    if (result == -ETIMEDOUT)
        return "logind did not answer in time";
    return std::string("logind refused or is missing: ") +
           (error.message != nullptr ? error.message : std::strerror(-result));
}

} // namespace

void LogindPowerHold::Hold(std::string_view resourceName) {
    Release();
    const auto deadline = std::chrono::steady_clock::now() + HOLD_WAIT;
    std::string reason;
    sd_bus* bus = OpenSystemBusBefore(deadline, reason);
    if (bus == nullptr) {
        notice_(NotHeld(reason));
        return;
    }
    const std::string why = "The firmware of " + std::string(resourceName) + " is being written";
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* call = nullptr;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_message_new_method_call(bus, &call, "org.freedesktop.login1",
                                                "/org/freedesktop/login1",
                                                "org.freedesktop.login1.Manager", "Inhibit");
    if (result >= 0)
        result = sd_bus_message_append(call, "ssss", WHAT, WHO, why.c_str(), MODE);
    if (result >= 0)
        result = sd_bus_call(bus, call, MicrosecondsUntil(deadline), &error, &reply);
    int fd = -1;
    if (result < 0)
        notice_(NotHeld(Refused(result, error)));
    else if (sd_bus_message_read(reply, "h", &fd) < 0)
        notice_(NotHeld("logind's reply holds no lock"));
    // The descriptor belongs to the reply; keep a copy of our own beyond it.
    else if ((lockFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
        notice_(NotHeld(std::string("the lock cannot be kept: ") + std::strerror(errno)));
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_message_unref(call);
    sd_bus_close_unref(bus);
}

void LogindPowerHold::Release() {
    if (lockFd_ >= 0)
        close(lockFd_);
    lockFd_ = -1;
}
