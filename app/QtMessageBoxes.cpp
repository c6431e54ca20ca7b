#include "app/QtMessageBoxes.h"

#include "app/SystemText.h"

#include <QLabel>
#include <QMessageBox>
#include <QString>
#include <algorithm>

namespace {
// Room a title bar takes beside its caption, in title bar heights: the icon, the buttons a
// window manager puts there, and its margins.
constexpr int TITLE_BAR_ROOM = 5;

// A window manager cuts a caption that is wider than its title bar ("Searc… ument"), and a
// message box is only as wide as its text. The box is widened to the caption, measured in
// a bold face as title bars draw it, beside a title bar's icon and buttons.
void MakeRoomForCaption(QMessageBox& box) {
    QFont titleFont = box.font();
    titleFont.setBold(true);
    const QFontMetrics metrics(titleFont);
    const int titleBarHeight = metrics.height() + 8;
    const int width =
        metrics.horizontalAdvance(box.windowTitle()) + TITLE_BAR_ROOM * titleBarHeight;
    // The box sizes itself to its layout whenever it is shown; its text sets the width.
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const int textWidth = label->sizeHint().width();
    const int besideText = box.sizeHint().width() - textWidth;
    label->setMinimumWidth(std::max(textWidth, width - besideText));
}

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
    MakeRoomForCaption(box);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}
