#include "host/widgets/combobox.h"

#include <QFocusEvent>

namespace host {

void TComboBox::showPopup()
{
    Q_EMIT dropDown();
    QComboBox::showPopup();
}

void TComboBox::focusInEvent(QFocusEvent *event)
{
    QComboBox::focusInEvent(event);
    // The user entering the list by a click, Tab or a shortcut. The focus that comes along with
    // its window's activation (after a message box, say) or is set by code is not entering.
    switch (event->reason()) {
    case Qt::MouseFocusReason:
    case Qt::TabFocusReason:
    case Qt::BacktabFocusReason:
    case Qt::ShortcutFocusReason:
        Q_EMIT entered();
        break;
    default:
        break;
    }
}

} // namespace host
