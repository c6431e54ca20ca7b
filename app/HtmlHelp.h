#pragma once

#include <string_view>

// The desktop's help viewer as something to be found once and then asked to show topics.
class HelpViewerLibrary {
public:
    virtual ~HelpViewerLibrary() = default;
    // Finds a viewer on this desktop; false when there is none.
    virtual bool Load() = 0;
    // Shows the default topic of the help file with this bare name; false when it could not.
    virtual bool DisplayTopic(std::string_view helpFile) = 0;
};

// Binds the help viewer on first use and remembers the outcome: once binding has failed,
// every later call returns false at once without looking for a viewer again.
class HtmlHelp {
public:
    explicit HtmlHelp(HelpViewerLibrary& library) : m_library(library) {}
    bool DisplayTopic(std::string_view helpFile);

private:
    enum class Binding { Unbound, Bound, Failed };
    HelpViewerLibrary& m_library;
    Binding m_binding = Binding::Unbound;
};
