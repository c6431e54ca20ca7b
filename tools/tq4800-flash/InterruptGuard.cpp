#include "tools/tq4800-flash/InterruptGuard.h"

#include "tools/tq4800-flash/TerminalScreen.h"

#include <iterator>

namespace {

// The note is printed by the screen, between the log's lines.
void RefuseInterrupt(int) {
    TerminalScreen::NoteRefusedStop();
}

} // namespace

InterruptGuard::~InterruptGuard() {
    SetUpdating(false);
}

void InterruptGuard::SetUpdating(bool updating) {
    if (updating == updating_)
        return;
    updating_ = updating;
    if (updating)
        echo_.Silence();
    else
        echo_.Restore();
    for (std::size_t i = 0; i < std::size(GUARDED_SIGNALS); ++i) {
        if (updating) {
            struct sigaction refuse = {};
            refuse.sa_handler = GUARDED_SIGNALS[i].ignored ? SIG_IGN : RefuseInterrupt;
            sigemptyset(&refuse.sa_mask);
            refuse.sa_flags = SA_RESTART;
            sigaction(GUARDED_SIGNALS[i].number, &refuse, &previous_[i]);
        } else {
            sigaction(GUARDED_SIGNALS[i].number, &previous_[i], nullptr);
        }
    }
}
