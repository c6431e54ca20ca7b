#include "tools/tq4800-flash/TerminalPrompt.h"

#include "tools/tq4800-flash/TerminalScreen.h"

#include <cctype>
#include <string>
#include <unistd.h>

namespace {

bool IsYes(std::string answer) {
    while (!answer.empty() && std::isspace(static_cast<unsigned char>(answer.back())))
        answer.pop_back();
    for (char& c : answer)
        c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return answer == "y" || answer == "yes";
}

} // namespace

MessageAnswer TerminalPrompt::ShowMessage(std::string_view text, std::string_view caption,
                                          MessageButtons buttons, MessageIcon) {
    if (buttons == MessageButtons::YesNo)
        return Ask(text);
    screen_.PrintError(std::string(caption) + ": " + std::string(text));
    return MessageAnswer::Ok;
}

MessageAnswer TerminalPrompt::Ask(std::string_view question) {
    if (assumeYes_) {
        screen_.PrintError(std::string(question) + " yes (--yes)");
        return MessageAnswer::Yes;
    }
    screen_.PrintPrompt(std::string(question) + " [y/N]");
    std::string answer;
    int c = std::fgetc(input_);
    for (; c != EOF && c != '\n'; c = std::fgetc(input_))
        answer += static_cast<char>(c);
    // A terminal has echoed the answer and its line end; answers from a pipe are echoed
    // here so that the question's line is ended either way.
    if (c == EOF || !isatty(fileno(input_)))
        screen_.PrintError(answer);
    return IsYes(answer) ? MessageAnswer::Yes : MessageAnswer::No;
}
