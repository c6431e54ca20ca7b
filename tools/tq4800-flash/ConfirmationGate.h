#pragma once

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

// One question for a whole fleet. Every instrument's update runs up to its confirmation
// (connected, its resource name on its display) and waits there; the question is asked
// once all have arrived or ended before it, and its one answer goes to every one waiting.
class ConfirmationGate {
public:
    explicit ConfirmationGate(std::size_t members) : states_(members, State::Running) {}

    // From an instrument's thread: waits for the answer; true for Yes.
    bool AwaitAnswer(std::size_t member);
    // From an instrument's thread at its end; no effect once it has asked.
    void Leave(std::size_t member);

    // Blocks until no instrument is still on its way to the question; the ones waiting.
    std::vector<std::size_t> WaitForQuestion();
    void Answer(bool yes);

private:
    enum class State { Running, Waiting, Gone };

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<State> states_;
    bool answered_ = false;
    bool yes_ = false;
};
