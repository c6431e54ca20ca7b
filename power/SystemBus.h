#pragma once

#include <chrono>
#include <cstdint>
#include <string>

struct sd_bus;

// A connection to the system D-Bus ($DBUS_SYSTEM_BUS_ADDRESS, or the standard socket),
// opened without sd-bus's own waits: the connection, the authentication and the greeting
// of the bus end by deadline, whatever the other end does. Returns null and says why in
// reason when the bus cannot be had in time.
sd_bus* OpenSystemBusBefore(std::chrono::steady_clock::time_point deadline, std::string& reason);

// Microseconds left until deadline, at least 1 so that sd-bus never reads 0 as "its default".
std::uint64_t MicrosecondsUntil(std::chrono::steady_clock::time_point deadline);
