#include "app/DialogControls.h"

#include "res/Resource.h"

#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>

namespace {
Qt::Alignment AlignmentOf(std::uint32_t style) {
    if (style & STYLE_ALIGN_RIGHT)
        return Qt::AlignRight | Qt::AlignVCenter;
    if (style & STYLE_ALIGN_CENTER)
        return Qt::AlignHCenter | Qt::AlignVCenter;
    return Qt::AlignLeft | Qt::AlignVCenter;
}

// Read-only edit fields take the dialog's face colour, as the template's platform draws
// them, so that they read as information rather than input.
void UseFaceColour(QWidget& widget) {
    QPalette palette = widget.palette();
    palette.setColor(QPalette::Base, palette.color(QPalette::Window));
    widget.setPalette(palette);
}

QWidget* MakeEdit(QWidget& parent, const DialogControl& entry) {
    if (entry.style & STYLE_VSCROLL) {
        auto* edit = new QPlainTextEdit(&parent);
        edit->setReadOnly(true);
        // A multi-line field wraps its lines at its width unless it scrolls sideways.
        const bool sideways = entry.style & STYLE_AUTOHSCROLL;
        edit->setLineWrapMode(sideways ? QPlainTextEdit::NoWrap : QPlainTextEdit::WidgetWidth);
        edit->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
        edit->setHorizontalScrollBarPolicy(sideways ? Qt::ScrollBarAsNeeded
                                                    : Qt::ScrollBarAlwaysOff);
        edit->setFrameShape((entry.style & STYLE_BORDER) ? QFrame::StyledPanel : QFrame::NoFrame);
        UseFaceColour(*edit);
        return edit;
    }
    // Single-line fields, and the borderless one-line notice.
    auto* edit = new QLineEdit(&parent);
    edit->setReadOnly(true);
    edit->setFrame(entry.style & STYLE_BORDER);
    edit->setAlignment(AlignmentOf(entry.style));
    UseFaceColour(*edit);
    return edit;
}

QWidget* MakeControl(QWidget& parent, const DialogControl& entry) {
    const QString text = QString::fromUtf8(entry.text);
    switch (entry.kind) {
    case ControlKind::ComboBox:
        return new QComboBox(&parent);
    case ControlKind::PushButton: {
        auto* button = new QPushButton(text, &parent);
        // Enter is handled by the dialog itself: it presses the focused button or ends
        // the dialog, so no button becomes a default button.
        button->setAutoDefault(false);
        return button;
    }
    case ControlKind::StaticText: {
        auto* label = new QLabel(text, &parent);
        label->setAlignment(AlignmentOf(entry.style));
        return label;
    }
    case ControlKind::Edit:
        return MakeEdit(parent, entry);
    case ControlKind::ProgressBar: {
        auto* bar = new QProgressBar(&parent);
        bar->setTextVisible(false); // a progress bar shows no text, whatever the template says
        bar->setRange(0, 100);
        bar->setValue(0);
        return bar;
    }
    case ControlKind::GroupBox:
        return new QGroupBox(text, &parent);
    case ControlKind::Frame: {
        auto* frame = new QFrame(&parent);
        frame->setFrameStyle(QFrame::Box | QFrame::Plain);
        QPalette palette = frame->palette();
        palette.setColor(QPalette::WindowText, Qt::black);
        frame->setPalette(palette);
        return frame;
    }
    }
    return new QWidget(&parent);
}

QRect PlaceOf(QWidget& widget, const DialogControl& entry, const DialogBaseUnits& units) {
    QRect rect = MapDialogRect(units, entry.x, entry.y, entry.width, entry.height);
    // A drop-down list's template height includes the dropped list; closed, it is as high
    // as its own field.
    if (entry.kind == ControlKind::ComboBox)
        rect.setHeight(widget.sizeHint().height());
    return rect;
}
} // namespace

DialogControls::DialogControls(QWidget& dialog, const DialogTemplate& dialogTemplate,
                               const DialogBaseUnits& units) {
    QWidget* previousTabStop = nullptr;
    for (int i = 0; i < dialogTemplate.controlCount; ++i) {
        const DialogControl& entry = dialogTemplate.controls[i];
        QWidget* widget = MakeControl(dialog, entry);
        widget->setProperty("controlId", entry.id);
        widget->setGeometry(PlaceOf(*widget, entry, units));
        if (entry.style & STYLE_TABSTOP) {
            widget->setFocusPolicy(Qt::StrongFocus);
            if (previousTabStop)
                QWidget::setTabOrder(previousTabStop, widget);
            previousTabStop = widget;
        } else if (entry.kind == ControlKind::Edit) {
            widget->setFocusPolicy(Qt::ClickFocus);
        } else {
            widget->setFocusPolicy(Qt::NoFocus);
        }
        m_built.push_back({&entry, widget});
    }
    // Group boxes and the rule lie under the fields they frame; they take no clicks.
    for (const Built& built : m_built) {
        if (built.entry->kind == ControlKind::GroupBox || built.entry->kind == ControlKind::Frame) {
            built.widget->lower();
            built.widget->setAttribute(Qt::WA_TransparentForMouseEvents);
        }
    }
}

QWidget* DialogControls::Item(int id) const {
    if (id == IDC_STATIC)
        return nullptr;
    for (const Built& built : m_built)
        if (built.entry->id == id)
            return built.widget;
    return nullptr;
}
