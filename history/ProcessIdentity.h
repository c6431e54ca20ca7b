#pragma once

#include <cstdint>
#include <string>

// Who runs an update, and enough to tell later whether that process still runs: a process
// id is unique only within one boot and only while the process lives, so the boot id and
// the process's start time go with it.
struct ProcessIdentity {
    std::string host;
    std::string user;
    std::int64_t processId = 0;
    std::int64_t processStart = 0;
    std::string bootId;
};

// This process.
const ProcessIdentity& ThisProcess();

// Whether the process named by identity runs now on this host in this boot.
bool IsStillRunning(const ProcessIdentity& identity);
