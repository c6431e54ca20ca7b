#include "tools/tq4800-flash/TerminalSize.h"

#include <cstdlib>
#include <string_view>
#include <sys/ioctl.h>
#include <unistd.h>

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

bool DrawsInPlace(int descriptor) {
    const char* term = std::getenv("TERM");
    return isatty(descriptor) != 0 && (term == nullptr || std::string_view(term) != "dumb");
}
