#pragma once

#include "seams/OnceNotice.h"
#include "seams/PowerHold.h"

// Holds off sleep, shutdown and the lid switch with a systemd-logind inhibitor lock, taken
// over the system D-Bus. logind keeps the lock while its file descriptor is open; Release
// closes it. Without a system bus or logind the note says that the PC is not held awake,
// and the update runs on. One object per instrument and thread.
class LogindPowerHold final : public PowerHold {
public:
    explicit LogindPowerHold(OnceNotice& notice) : notice_(notice) {}
    ~LogindPowerHold() override { Release(); }
    LogindPowerHold(const LogindPowerHold&) = delete;
    LogindPowerHold& operator=(const LogindPowerHold&) = delete;

    void Hold(std::string_view resourceName) override;
    void Release() override;
    bool Holding() const { return lockFd_ >= 0; }

private:
    OnceNotice& notice_;
    int lockFd_ = -1;
};
