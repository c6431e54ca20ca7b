#pragma once

#include "seams/MessageBoxes.h"

class QWidget;

// Message boxes as QMessageBox, modal to their owner (or application-modal without one).
class QtMessageBoxes final : public MessageBoxes {
public:
    explicit QtMessageBoxes(QWidget* owner) : m_owner(owner) {}
    MessageAnswer ShowMessage(std::string_view text, std::string_view caption,
                              MessageButtons buttons, MessageIcon icon) override;

private:
    QWidget* m_owner;
};
