#pragma once

#include <atomic>
#include <functional>
#include <string>

// A problem of a best-effort service, said once for the whole program however many runs or
// threads meet it: the operator needs to know, not to read it for every instrument.
class OnceNotice {
public:
    using Say = std::function<void(const std::string& text)>;

    explicit OnceNotice(Say say) : say_(std::move(say)) {}

    // Says text unless something was said already; safe from any thread.
    void operator()(const std::string& text) {
        if (!said_.exchange(true) && say_)
            say_(text);
    }

private:
    Say say_;
    std::atomic<bool> said_{false};
};
