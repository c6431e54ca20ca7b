#include "update/FleetConfirmation.h"

#include <algorithm>

FleetConfirmation::FleetConfirmation(std::size_t members) : states_(members, State::Running) {}

MessageAnswer FleetConfirmation::Ask(std::size_t member) {
    std::unique_lock lock(lock_);
    states_.at(member) = State::Asked;
    changed_.notify_all();
    changed_.wait(lock, [this] { return answered_; });
    return answer_;
}

void FleetConfirmation::Ended(std::size_t member) {
    std::lock_guard lock(lock_);
    if (states_.at(member) == State::Running)
        states_[member] = State::Ended;
    changed_.notify_all();
}

std::vector<std::size_t> FleetConfirmation::WaitForQuestions() {
    std::unique_lock lock(lock_);
    changed_.wait(lock, [this] {
        return std::none_of(states_.begin(), states_.end(),
                            [](State state) { return state == State::Running; });
    });
    std::vector<std::size_t> asked;
    for (std::size_t member = 0; member < states_.size(); ++member)
        if (states_[member] == State::Asked)
            asked.push_back(member);
    return asked;
}

void FleetConfirmation::Answer(MessageAnswer answer) {
    std::lock_guard lock(lock_);
    answer_ = answer;
    answered_ = true;
    changed_.notify_all();
}

FleetMemberBoxes::FleetMemberBoxes(FleetConfirmation& question, std::size_t member,
                                   MessageBoxes& others)
    : question_(question), member_(member), others_(others) {}

MessageAnswer FleetMemberBoxes::ShowMessage(std::string_view text, std::string_view caption,
                                            MessageButtons buttons, MessageIcon icon) {
    if (buttons == MessageButtons::YesNo)
        return question_.Ask(member_);
    return others_.ShowMessage(text, caption, buttons, icon);
}
