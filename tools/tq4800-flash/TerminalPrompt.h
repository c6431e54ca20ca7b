#pragma once

#include "seams/MessageBoxes.h"

#include <cstdio>

class TerminalScreen;

// The window's message boxes on a terminal. A box with OK prints its caption and text on
// standard error. A Yes/No box asks its question on standard error and reads the answer as
// one line from input ("y" or "yes", in any case, is Yes; anything else or the end of
// input is No), unless every question is answered Yes in advance (--yes).
class TerminalPrompt final : public MessageBoxes {
public:
    TerminalPrompt(TerminalScreen& screen, std::FILE* input, bool assumeYes)
        : screen_(screen), input_(input), assumeYes_(assumeYes) {}

    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;

private:
    MessageAnswer Ask(std::string_view question);

    TerminalScreen& screen_;
    std::FILE* input_;
    bool assumeYes_;
};
