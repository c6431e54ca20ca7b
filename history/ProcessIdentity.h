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

// Whether the process named by identity may still run: on this host, whether it runs now in
// this boot; a process of another host (a history on a shared folder) cannot be seen from
// here and is taken to run.
bool IsStillRunning(const ProcessIdentity& identity);
