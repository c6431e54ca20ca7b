#include "tools/tq4800-flash/ConfirmationGate.h"

#include <algorithm>

bool ConfirmationGate::AwaitAnswer(std::size_t member) {
    std::unique_lock hold(lock_);
    states_[member] = State::Waiting;
    changed_.notify_all();
    changed_.wait(hold, [this] { return answered_; });
    return yes_;
}

void ConfirmationGate::Leave(std::size_t member) {
    std::lock_guard hold(lock_);
    if (states_[member] == State::Running)
        states_[member] = State::Gone;
    changed_.notify_all();
}

std::vector<std::size_t> ConfirmationGate::WaitForQuestion() {
    std::unique_lock hold(lock_);
    changed_.wait(hold, [this] {
        return std::none_of(states_.begin(), states_.end(),
                            [](State state) { return state == State::Running; });
    });
    std::vector<std::size_t> waiting;
    for (std::size_t i = 0; i < states_.size(); ++i)
        if (states_[i] == State::Waiting)
            waiting.push_back(i);
    return waiting;
}

void ConfirmationGate::Answer(bool yes) {
    std::lock_guard hold(lock_);
    answered_ = true;
    yes_ = yes;
    changed_.notify_all();
}
