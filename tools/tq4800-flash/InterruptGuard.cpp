#include "tools/tq4800-flash/InterruptGuard.h"

#include <iterator>
#include <unistd.h>

namespace {

void RefuseInterrupt(int) {
    static constexpr char note[] =
        "\ntq4800-flash: the instrument's flash is being written; the update goes on.\n";
    // write(2) is safe in a signal handler; a failure to print the note changes nothing.
    [[maybe_unused]] ssize_t written = write(STDERR_FILENO, note, sizeof note - 1);
}

} // namespace

InterruptGuard::~InterruptGuard() {
    SetUpdating(false);
}

void InterruptGuard::SetUpdating(bool updating) {
    if (updating == updating_)
        return;
    updating_ = updating;
    for (std::size_t i = 0; i < std::size(GUARDED_SIGNALS); ++i) {
        if (updating) {
            struct sigaction refuse = {};
            refuse.sa_handler = RefuseInterrupt;
            sigemptyset(&refuse.sa_mask);
            refuse.sa_flags = SA_RESTART;
            sigaction(GUARDED_SIGNALS[i], &refuse, &previous_[i]);
        } else {
            sigaction(GUARDED_SIGNALS[i], &previous_[i], nullptr);
        }
    }
}
