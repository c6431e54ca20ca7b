#include "TemporaryFile.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <fcntl.h>
#include <iterator>
#include <unistd.h>

namespace {

constexpr int ENDING_SIGNALS[] = {SIGINT, SIGQUIT, SIGTERM, SIGHUP};

// What the signal handler removes: it may use neither std::string nor the heap.
std::array<char, 4096> pendingPath = {};
volatile std::sig_atomic_t pending = 0;
struct sigaction previous[std::size(ENDING_SIGNALS)] = {};

void RemoveAndEnd(int signal) {
    if (pending != 0)
        unlink(pendingPath.data());
    // The default action of the signal, once the handler returns: the program ends as the
    // sender meant (status, core for Ctrl-\).
    struct sigaction standard = {};
    standard.sa_handler = SIG_DFL;
    sigemptyset(&standard.sa_mask);
    sigaction(signal, &standard, nullptr);
    raise(signal);
}

sigset_t EndingSignals() {
    sigset_t set;
    sigemptyset(&set);
    for (const int signal : ENDING_SIGNALS)
        sigaddset(&set, signal);
    return set;
}

void CatchEndingSignals() {
    for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i) {
        sigaction(ENDING_SIGNALS[i], nullptr, &previous[i]);
        if (previous[i].sa_handler == SIG_IGN)
            continue;
        struct sigaction remove = {};
        remove.sa_handler = RemoveAndEnd;
        sigemptyset(&remove.sa_mask);
        sigaction(ENDING_SIGNALS[i], &remove, nullptr);
    }
}

void ReleaseEndingSignals() {
    for (std::size_t i = 0; i < std::size(ENDING_SIGNALS); ++i)
        sigaction(ENDING_SIGNALS[i], &previous[i], nullptr);
}

} // namespace

TemporaryFile::TemporaryFile(const std::string& target) {
    const std::size_t slash = target.rfind('/');
    path_ = slash == std::string::npos
                ? "." + target + ".XXXXXX"
                : target.substr(0, slash + 1) + "." + target.substr(slash + 1) + ".XXXXXX";
    if (path_.size() >= pendingPath.size()) {
        errno = ENAMETOOLONG;
        return;
    }
    // No signal may come between the file's creation and the handler knowing its name.
    const sigset_t ending = EndingSignals();
    sigset_t before;
    sigprocmask(SIG_BLOCK, &ending, &before);
    descriptor_ = mkostemp(path_.data(), O_CLOEXEC);
    const int error = errno;
    if (descriptor_ >= 0) {
        std::copy(path_.begin(), path_.end(), pendingPath.begin());
        pendingPath[path_.size()] = '\0';
        pending = 1;
        CatchEndingSignals();
    }
    sigprocmask(SIG_SETMASK, &before, nullptr);
    errno = error;
}

TemporaryFile::~TemporaryFile() {
    Remove();
}

bool TemporaryFile::Commit(const std::string& target) {
    const int descriptor = descriptor_;
    descriptor_ = -1;
    if (close(descriptor) != 0 || rename(path_.c_str(), target.c_str()) != 0) {
        const int error = errno;
        Remove();
        errno = error;
        return false;
    }
    pending = 0;
    ReleaseEndingSignals();
    return true;
}

void TemporaryFile::Remove() {
    if (descriptor_ >= 0)
        close(descriptor_);
    descriptor_ = -1;
    if (pending == 0)
        return;
    unlink(path_.c_str());
    pending = 0;
    ReleaseEndingSignals();
}
