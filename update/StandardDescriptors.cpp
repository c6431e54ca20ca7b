#include "update/StandardDescriptors.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <iostream>
#include <poll.h>
#include <sysexits.h>
#include <unistd.h>

void OpenClosedStandardDescriptors() {
    for (int descriptor = STDIN_FILENO; descriptor <= STDERR_FILENO; ++descriptor) {
        if (fcntl(descriptor, F_GETFD) >= 0)
            continue;
        // open takes the lowest free descriptor: this one, as the lower ones are open.
        const int opened = open("/dev/null", descriptor == STDIN_FILENO ? O_RDONLY : O_WRONLY);
        if (opened >= 0 && opened != descriptor)
            close(opened);
    }
}

OutputFate FlushStandardOutput(std::string& reason) {
    errno = 0;
    std::cout.flush(); // through stdout's buffer
    const bool flushed = std::fflush(stdout) == 0;
    const int error = errno;
    if (flushed && !std::ferror(stdout) && std::cout.good())
        return OutputFate::Written;
    // The write end of a pipe without a reader shows an error to poll.
    pollfd output{STDOUT_FILENO, POLLOUT, 0};
    if (error == EPIPE || (poll(&output, 1, 0) == 1 && (output.revents & (POLLERR | POLLHUP))))
        return OutputFate::ReaderGone;
    reason = error != 0 ? std::strerror(error) : "";
    return OutputFate::Lost;
}

int ExitCodeOnceOutputWritten(int code, const char* program) {
    std::string reason;
    if (FlushStandardOutput(reason) != OutputFate::Lost)
        return code;
    std::fprintf(stderr, "%s: standard output could not be written%s%s\n", program,
                 reason.empty() ? "" : ": ", reason.c_str());
    return code == 0 ? EX_IOERR : code;
}
