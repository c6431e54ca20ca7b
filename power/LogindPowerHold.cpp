#include "power/LogindPowerHold.h"

#include <cstring>
#include <fcntl.h>
#include <string>
#include <systemd/sd-bus.h>
#include <unistd.h>

namespace {

constexpr char WHAT[] = "sleep:shutdown:handle-lid-switch";
constexpr char WHO[] = "TQ4800 firmware update";
constexpr char MODE[] = "block";

std::string NotHeld(const std::string& reason) {
    return "the PC is not held awake during the update (" + reason + "); the update runs on";
}

} // namespace

void LogindPowerHold::Hold(std::string_view resourceName) {
    Release();
    sd_bus* bus = nullptr;
    if (int result = sd_bus_open_system(&bus); result < 0) {
        notice_(NotHeld(std::string("no system bus: ") + std::strerror(-result)));
        return;
    }
    const std::string why = "The firmware of " + std::string(resourceName) + " is being written";
    sd_bus_error error = SD_BUS_ERROR_NULL;
    sd_bus_message* reply = nullptr;
    int result = sd_bus_call_method(bus, "org.freedesktop.login1", "/org/freedesktop/login1",
                                    "org.freedesktop.login1.Manager", "Inhibit", &error, &reply,
                                    "ssss", WHAT, WHO, why.c_str(), MODE);
    int fd = -1;
    if (result < 0)
        notice_(NotHeld(std::string("logind refused or is missing: ") +
                        (error.message != nullptr ? error.message : std::strerror(-result))));
    else if (sd_bus_message_read(reply, "h", &fd) < 0)
        notice_(NotHeld("logind's reply holds no lock"));
    // The descriptor belongs to the reply; keep a copy of our own beyond it.
    else if ((lockFd_ = fcntl(fd, F_DUPFD_CLOEXEC, 3)) < 0)
        notice_(NotHeld(std::string("the lock cannot be kept: ") + std::strerror(errno)));
    sd_bus_error_free(&error);
    sd_bus_message_unref(reply);
    sd_bus_flush_close_unref(bus);
}

void LogindPowerHold::Release() {
    if (lockFd_ >= 0)
        close(lockFd_);
    lockFd_ = -1;
}
