#pragma once

#include "app/DialogUnits.h"
#include "res/DialogTemplate.h"

#include <QWidget>
#include <vector>

// The child windows of a dialog built from its template, reachable by control id.
class DialogControls {
public:
    struct Built {
        const DialogControl* entry;
        QWidget* widget;
    };

    // Creates every control of the template as a child of dialog, places it in pixels and
    // sets the tab order. The dialog's font must already be set.
    DialogControls(QWidget& dialog, const DialogTemplate& dialogTemplate,
                   const DialogBaseUnits& units);

    // The control with this id; nullptr for IDC_STATIC or an id the template does not have.
    QWidget* Item(int id) const;
    template <class Widget> Widget* ItemAs(int id) const { return qobject_cast<Widget*>(Item(id)); }
    const std::vector<Built>& All() const { return m_built; }

private:
    std::vector<Built> m_built;
};
