#include "app/ComboDeviceList.h"

#include "app/SystemText.h"

#include <QComboBox>
#include <QString>

namespace {
// The list's text limit: what a 255-byte buffer with its terminator holds.
constexpr std::size_t MAX_SHOWN_TEXT = 254;
} // namespace

void ComboDeviceList::ResetContent() {
    m_box->clear();
    m_box->setCurrentIndex(-1);
}

void ComboDeviceList::AddString(std::string_view name) {
    const QString item = FromSystemText(name);
    int position = 0;
    while (position < m_box->count() &&
           QString::compare(m_box->itemText(position), item, Qt::CaseInsensitive) <= 0)
        ++position;
    const int selected = m_box->currentIndex();
    m_box->insertItem(position, item);
    // A drop-down list selects nothing by adding; Qt's would select the first item added to
    // an empty list, and shifts the selection when an item goes in above it.
    if (selected < 0)
        m_box->setCurrentIndex(-1);
}

void ComboDeviceList::SelectPrefixOrFirst(std::string_view prefix) {
    if (m_box->count() == 0)
        return;
    const QString wanted = FromSystemText(prefix);
    for (int i = 0; i < m_box->count(); ++i) {
        if (m_box->itemText(i).startsWith(wanted, Qt::CaseInsensitive)) {
            m_box->setCurrentIndex(i);
            return;
        }
    }
    m_box->setCurrentIndex(0);
}

std::string ComboDeviceList::CurrentText() const {
    if (m_box->currentIndex() < 0)
        return {};
    std::string text = m_box->currentText().toStdString();
    if (text.size() > MAX_SHOWN_TEXT)
        text.resize(MAX_SHOWN_TEXT);
    return text;
}

int ComboDeviceList::Count() const {
    return m_box->count();
}
