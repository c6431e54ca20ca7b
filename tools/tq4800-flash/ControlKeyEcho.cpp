#include "tools/tq4800-flash/ControlKeyEcho.h"

#include <fcntl.h>
#include <unistd.h>

void ControlKeyEcho::Silence() {
    if (terminal_ >= 0)
        return;
    const int terminal = open("/dev/tty", O_RDWR | O_NOCTTY | O_CLOEXEC);
    if (terminal < 0)
        return;
    struct termios quiet {};
    if (tcgetpgrp(terminal) != getpgrp() || tcgetattr(terminal, &saved_) != 0 ||
        (saved_.c_lflag & ECHOCTL) == 0) {
        close(terminal);
        return;
    }
    quiet = saved_;
    quiet.c_lflag &= ~static_cast<tcflag_t>(ECHOCTL);
    if (tcsetattr(terminal, TCSANOW, &quiet) != 0) {
        close(terminal);
        return;
    }
    terminal_ = terminal;
}

void ControlKeyEcho::Restore() {
    if (terminal_ < 0)
        return;
    tcsetattr(terminal_, TCSANOW, &saved_);
    close(terminal_);
    terminal_ = -1;
}
