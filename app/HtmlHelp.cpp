#include "app/HtmlHelp.h"

bool HtmlHelp::DisplayTopic(std::string_view helpFile) {
    if (m_binding == Binding::Unbound)
        m_binding = m_library.Load() ? Binding::Bound : Binding::Failed;
    if (m_binding == Binding::Failed)
        return false;
    return m_library.DisplayTopic(helpFile);
}
