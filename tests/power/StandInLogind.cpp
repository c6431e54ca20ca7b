// A stand-in for systemd-logind on a test's own bus: it owns org.freedesktop.login1, answers
// Manager.Inhibit with the write end of a pipe as logind answers with its lock's descriptor,
// and writes to the record file (argv[1]) one line per call, "inhibit WHAT|WHO|WHY|MODE",
// and "released" when every copy of a lock's descriptor has been closed. "ready" comes
// first, once the name is owned. It runs until it is killed.

#include <cerrno>
#include <cstdio>
#include <poll.h>
#include <systemd/sd-bus.h>
#include <unistd.h>
#include <vector>

namespace {

std::FILE* record = nullptr;
std::vector<int> lockEnds; // the read ends of the pipes handed out

int Inhibit(sd_bus_message* call, void*, sd_bus_error*) {
    const char *what, *who, *why, *mode;
    if (sd_bus_message_read(call, "ssss", &what, &who, &why, &mode) < 0)
        return -EINVAL;
    int ends[2];
    if (pipe(ends) != 0)
        return -errno;
    std::fprintf(record, "inhibit %s|%s|%s|%s\n", what, who, why, mode);
    lockEnds.push_back(ends[0]);
    const int result = sd_bus_reply_method_return(call, "h", ends[1]);
    close(ends[1]); // the reply carries its own copy
    return result;
}

// A lock is released when the last copy of its write end is closed: the read end then
// reports a hang-up.
void NoteReleasedLocks() {
    for (int& end : lockEnds) {
        pollfd watched{end, 0, 0};
        if (end >= 0 && poll(&watched, 1, 0) == 1 && (watched.revents & POLLHUP)) {
            std::fputs("released\n", record);
            close(end);
            end = -1;
        }
    }
}

const sd_bus_vtable MANAGER[] = {
    SD_BUS_VTABLE_START(0),
    SD_BUS_METHOD("Inhibit", "ssss", "h", Inhibit, SD_BUS_VTABLE_UNPRIVILEGED),
    SD_BUS_VTABLE_END,
};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2 || (record = std::fopen(argv[1], "a")) == nullptr)
        return 2;
    std::setvbuf(record, nullptr, _IOLBF, BUFSIZ); // each line is seen as soon as it is written
    sd_bus* bus = nullptr;
    if (sd_bus_open_system(&bus) < 0 ||
        sd_bus_add_object_vtable(bus, nullptr, "/org/freedesktop/login1",
                                 "org.freedesktop.login1.Manager", MANAGER, nullptr) < 0 ||
        sd_bus_request_name(bus, "org.freedesktop.login1", 0) < 0)
        return 1;
    std::fputs("ready\n", record);
    for (;;) {
        while (sd_bus_process(bus, nullptr) > 0) {
        }
        sd_bus_wait(bus, 20'000); // microseconds: the pipes are looked at between waits
        NoteReleasedLocks();
    }
}
