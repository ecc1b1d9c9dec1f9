#pragma once

#include <QComboBox>

namespace host {

// A combo box that tells when its list is about to drop down and when it receives the focus.
class TComboBox : public QComboBox
{
    Q_OBJECT
public:
    using QComboBox::QComboBox;

    void showPopup() override;

Q_SIGNALS:
    void dropDown(); // before the list opens, so handlers can still change the items
    void entered();  // the user entered the list: a click, Tab or a shortcut

protected:
    void focusInEvent(QFocusEvent *event) override;
};

} // namespace host
