#include "history/ProcessIdentity.h"

#include <fstream>
#include <mutex>
#include <pwd.h>
#include <sstream>
#include <unistd.h>

namespace {

std::string FirstLineOf(const std::string& path) {
    std::ifstream in(path);
    std::string line;
    std::getline(in, line);
    return line;
}

std::string HostName() {
    char name[256] = {};
    if (gethostname(name, sizeof name - 1) != 0)
        return "unknown";
    return name;
}

std::string UserName() {
    if (const passwd* entry = getpwuid(geteuid()); entry != nullptr && entry->pw_name)
        return entry->pw_name;
    return "uid " + std::to_string(geteuid());
}

// Field 22 of /proc/PID/stat, after the command name in parentheses (which may itself hold
// spaces and parentheses, hence the last ')'); 0 when the process does not exist.
std::int64_t ProcessStartTicks(std::int64_t processId) {
    const std::string stat = FirstLineOf("/proc/" + std::to_string(processId) + "/stat");
    const std::size_t nameEnd = stat.rfind(')');
    if (nameEnd == std::string::npos)
        return 0;
    std::istringstream fields(stat.substr(nameEnd + 1));
    std::string field;
    for (int number = 3; number <= 22 && fields >> field; ++number)
        if (number == 22)
            return std::stoll(field);
    return 0;
}

} // namespace

// Made again in a forked child, which is a process of its own.
const ProcessIdentity& ThisProcess() {
    static std::mutex making;
    static ProcessIdentity identity;
    const std::lock_guard hold(making);
    if (identity.processId != getpid()) {
        identity.host = HostName();
        identity.user = UserName();
        identity.processId = getpid();
        identity.processStart = ProcessStartTicks(identity.processId);
        identity.bootId = FirstLineOf("/proc/sys/kernel/random/boot_id");
    }
    return identity;
}

bool IsStillRunning(const ProcessIdentity& identity) {
    const ProcessIdentity& self = ThisProcess();
    if (identity.host != self.host)
        return true;
    if (identity.bootId != self.bootId)
        return false;
    return identity.processId > 0 && ProcessStartTicks(identity.processId) == identity.processStart;
}
