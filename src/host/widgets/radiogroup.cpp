#include "host/widgets/radiogroup.h"

#include <QButtonGroup>
#include <QGridLayout>
#include <QRadioButton>

namespace host {

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent), m_buttons(new QButtonGroup(this))
{
    // Tab stop while the form sets its tab order (Qt leaves widgets without focus out of it), so
    // that the buttons made later by setItems can take the group's place.
    setFocusPolicy(Qt::TabFocus);
    auto *layout = new QGridLayout(this);
    layout->setContentsMargins(6, 2, 6, 2);
    connect(m_buttons, &QButtonGroup::idToggled, this, [this](int id, bool checked) {
        if (checked)
            Q_EMIT itemIndexChanged(id);
    });
}

void TRadioGroup::setItems(const QStringList &items, int columns)
{
    for (QAbstractButton *button : m_buttons->buttons()) {
        m_buttons->removeButton(button);
        delete button;
    }
    m_items = items;
    auto *grid = static_cast<QGridLayout *>(layout());
    // The buttons take the group's place in the tab order, not the end of the form's.
    setFocusPolicy(Qt::TabFocus);
    QWidget *previous = this;
    const int rows = columns > 0 ? int((items.size() + columns - 1) / columns) : int(items.size());
    for (int i = 0; i < items.size(); ++i) {
        auto *button = new QRadioButton(items[i], this);
        button->setObjectName(QStringLiteral("%1_%2").arg(objectName()).arg(i));
        m_buttons->addButton(button, i);
        // Filled column by column, as a radio group does.
        grid->addWidget(button, i % qMax(rows, 1), i / qMax(rows, 1));
        QWidget::setTabOrder(previous, button);
        previous = button;
    }
    // The checked button is the stop, not the group.
    setFocusPolicy(Qt::NoFocus);
}

int TRadioGroup::itemIndex() const
{
    return m_buttons->checkedId();
}

void TRadioGroup::setItemIndex(int index)
{
    if (QAbstractButton *button = m_buttons->button(index))
        button->setChecked(true);
}

} // namespace host
