#pragma once

#include "seams/MessageBoxes.h"

#include <condition_variable>
#include <cstddef>
#include <mutex>
#include <vector>

// The one question of a fleet update. Each member's update asks for confirmation as a single
// update does, after its resource name is on the instrument's display; here every such
// question waits until all members have asked or ended, so that the front end can ask the
// operator once for all of them, and then each gets the operator's one answer.
class FleetConfirmation {
public:
    explicit FleetConfirmation(std::size_t members);

    // Called on member's thread by its confirmation box: blocks until Answer.
    MessageAnswer Ask(std::size_t member);
    // The member's update has ended (whether or not it asked).
    void Ended(std::size_t member);

    // Blocks until every member has asked or ended; the members that asked, in order.
    std::vector<std::size_t> WaitForQuestions();
    // The operator's answer for every member that asked or will ask.
    void Answer(MessageAnswer answer);

private:
    enum class State { Running, Asked, Ended };

    std::mutex lock_;
    std::condition_variable changed_;
    std::vector<State> states_;
    bool answered_ = false;
    MessageAnswer answer_ = MessageAnswer::No;
};

// A member's message boxes: its confirmation (the Yes/No box) goes to the fleet's one
// question, every other box to others.
class FleetMemberBoxes final : public MessageBoxes {
public:
    FleetMemberBoxes(FleetConfirmation& question, std::size_t member, MessageBoxes& others);

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;

private:
    FleetConfirmation& question_;
    std::size_t member_;
    MessageBoxes& others_;
};
