#include "app/QtMessageBoxes.h"

#include "app/SystemText.h"

#include <QMessageBox>
#include <QString>

namespace {
QMessageBox::Icon IconOf(MessageIcon icon) {
    switch (icon) {
    case MessageIcon::Information:
        return QMessageBox::Information;
    case MessageIcon::Question:
        return QMessageBox::Question;
    case MessageIcon::Stop:
        return QMessageBox::Critical;
    case MessageIcon::None:
        break;
    }
    return QMessageBox::NoIcon;
}
} // namespace

MessageAnswer QtMessageBoxes::ShowMessage(std::string_view text, std::string_view caption,
                                          MessageButtons buttons, MessageIcon icon) {
    QMessageBox box(IconOf(icon), FromSystemText(caption), FromSystemText(text),
                    QMessageBox::NoButton, m_owner);
    if (buttons == MessageButtons::YesNo) {
        box.setStandardButtons(QMessageBox::Yes | QMessageBox::No);
        box.setDefaultButton(QMessageBox::Yes);
        box.setEscapeButton(QMessageBox::No);
    } else {
        box.setStandardButtons(QMessageBox::Ok);
    }
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}
