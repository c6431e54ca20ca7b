#pragma once

#include <termios.h>

// While a refused Ctrl-C, Ctrl-\ or Ctrl-Z must not disturb the progress bar, the
// controlling terminal is told not to echo them as "^C", "^\" or "^Z" at the cursor, which
// sits where the bar is drawn. Only a program in the terminal's foreground changes it (another
// would be stopped for trying), and the setting is given back as it was.
class ControlKeyEcho {
public:
    ControlKeyEcho() = default;
    ControlKeyEcho(const ControlKeyEcho&) = delete;
    ControlKeyEcho& operator=(const ControlKeyEcho&) = delete;
    ~ControlKeyEcho() { Restore(); }

    void Silence();
    void Restore();

private:
    int terminal_ = -1;
    struct termios saved_ = {};
};
