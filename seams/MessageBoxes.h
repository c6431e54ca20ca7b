#pragma once

#include <string_view>

enum class MessageButtons { Ok, YesNo };
enum class MessageIcon { Information, Question, Stop, None };
enum class MessageAnswer { Ok, Yes, No };

// Modal message boxes owned by the window. Returns when the operator has answered.
class MessageBoxes {
public:
    virtual ~MessageBoxes() = default;
    virtual MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                                      MessageButtons buttons, MessageIcon icon) = 0;
};
