#pragma once

#include "app/FileChooser.h"

class QWidget;

// The platform's file-open dialog, owned by the window.
class QtFileChooser final : public FileChooser {
public:
    explicit QtFileChooser(QWidget* owner) : m_owner(owner) {}
    std::optional<std::string> ChooseFile() override;

private:
    QWidget* m_owner;
};
