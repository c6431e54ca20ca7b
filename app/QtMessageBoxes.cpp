#include "app/QtMessageBoxes.h"

#include "app/SystemText.h"
#include "app/TitleBarFont.h"

#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QString>
#include <QTimer>
#include <algorithm>
#include <memory>

namespace {
// Room a title bar takes beside a caption it centres, in title bar heights: up to three
// buttons and a margin on one side, and as much again on the other, since the caption is
// centred (Qt's Wayland title bar clips a centred caption at its minimise button).
constexpr int TITLE_BAR_ROOM = 6;

// A title bar cuts a caption that is wider than itself ("Firmware Upda"), and a message box
// is only as wide as its text. The box is widened to the caption, measured in the fonts
// title bars draw it in, beside a title bar's icon and buttons.
void MakeRoomForCaption(QMessageBox& box) {
    const CaptionExtent caption = MeasureCaption(box.windowTitle(), box.font());
    const int titleBarHeight = caption.height + 8;
    const int width = caption.width + TITLE_BAR_ROOM * titleBarHeight;
    // The box sizes itself to its layout whenever it is shown; its text sets the width.
    auto* label = box.findChild<QLabel*>(QStringLiteral("qt_msgbox_label"));
    if (!label)
        return;
    const int textWidth = label->sizeHint().width();
    const int besideText = box.sizeHint().width() - textWidth;
    label->setMinimumWidth(std::max(textWidth, width - besideText));
}

// Qt centres a box over its owner when it shows it, but a window manager may place a new
// window where it likes (weston's does). For a while after it is shown, a box found away
// from its owner is moved back over it. A Wayland client cannot place its windows at all.
void KeepOverOwner(QMessageBox& box, const QWidget* owner) {
    if (!owner || QGuiApplication::platformName() == QLatin1String("wayland"))
        return;
    constexpr int CHECK_INTERVAL_MS = 50;
    constexpr int CHECKS = 20;
    auto* check = new QTimer(&box);
    auto checksLeft = std::make_shared<int>(CHECKS);
    QObject::connect(check, &QTimer::timeout, &box, [&box, owner, check, checksLeft] {
        const QRect over = owner->frameGeometry();
        if (box.isVisible() && !over.contains(box.frameGeometry().center())) {
            QRect place = box.frameGeometry();
            place.moveCenter(over.center());
            box.move(place.topLeft());
        }
        if (--*checksLeft <= 0)
            check->stop();
    });
    check->start(CHECK_INTERVAL_MS);
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
    KeepOverOwner(box, m_owner);
    const int answer = box.exec();
    if (buttons == MessageButtons::Ok)
        return MessageAnswer::Ok;
    return answer == QMessageBox::Yes ? MessageAnswer::Yes : MessageAnswer::No;
}
