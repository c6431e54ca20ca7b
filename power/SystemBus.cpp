#include "power/SystemBus.h"

#include <cstdlib>
#include <cstring>
#include <systemd/sd-bus.h>

namespace {

constexpr char STANDARD_ADDRESS[] = "unix:path=/run/dbus/system_bus_socket";

std::string Reason(const char* what, int result) {
    return std::string(what) + ": " + std::strerror(-result);
}

// Drives the authentication and the greeting until the bus is ready or deadline passes.
bool WaitUntilReady(sd_bus* bus, std::chrono::steady_clock::time_point deadline,
                    std::string& reason) {
    for (;;) {
        if (sd_bus_is_ready(bus) > 0)
            return true;
        int result = sd_bus_process(bus, nullptr);
        if (result < 0) {
            reason = Reason("the system bus refused the connection", result);
            return false;
        }
        if (result > 0)
            continue;
        if (std::chrono::steady_clock::now() >= deadline) {
            reason = "the system bus did not answer in time";
            return false;
        }
        result = sd_bus_wait(bus, MicrosecondsUntil(deadline));
        if (result < 0) {
            reason = Reason("the system bus cannot be waited for", result);
            return false;
        }
    }
}

} // namespace

std::uint64_t MicrosecondsUntil(std::chrono::steady_clock::time_point deadline) {
    const auto left = std::chrono::duration_cast<std::chrono::microseconds>(
        deadline - std::chrono::steady_clock::now());
    return left.count() > 0 ? static_cast<std::uint64_t>(left.count()) : 1;
}

sd_bus* OpenSystemBusBefore(std::chrono::steady_clock::time_point deadline, std::string& reason) {
    sd_bus* bus = nullptr;
    if (int result = sd_bus_new(&bus); result < 0) {
        reason = Reason("no system bus", result);
        return nullptr;
    }
    const char* address = std::getenv("DBUS_SYSTEM_BUS_ADDRESS");
    int result = sd_bus_set_address(bus, address != nullptr ? address : STANDARD_ADDRESS);
    if (result >= 0)
        result = sd_bus_set_bus_client(bus, 1);
    if (result >= 0)
        result = sd_bus_start(bus);
    if (result < 0) {
        reason = Reason("no system bus", result);
        sd_bus_unref(bus);
        return nullptr;
    }
    if (!WaitUntilReady(bus, deadline, reason)) {
        sd_bus_close_unref(bus);
        return nullptr;
    }
    return bus;
}
