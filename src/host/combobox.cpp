#include "host/combobox.h"

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
    if (event->reason() != Qt::PopupFocusReason)
        Q_EMIT entered();
}

} // namespace host
