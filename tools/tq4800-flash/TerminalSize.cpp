#include "tools/tq4800-flash/TerminalSize.h"

#include <sys/ioctl.h>

TerminalSize TerminalSizeOf(int descriptor) {
    TerminalSize size;
    winsize window{};
    if (ioctl(descriptor, TIOCGWINSZ, &window) != 0)
        return size;
    if (window.ws_col > 0)
        size.columns = window.ws_col;
    if (window.ws_row > 0)
        size.rows = window.ws_row;
    return size;
}
