#pragma once

#include <QGroupBox>
#include <QStringList>

class QButtonGroup;

namespace host {

// A captioned group of radio buttons laid out in columns, chosen by index.
class TRadioGroup : public QGroupBox
{
    Q_OBJECT
public:
    explicit TRadioGroup(QWidget *parent = nullptr);

    void setItems(const QStringList &items, int columns = 1);
    QStringList items() const { return m_items; }
    int itemIndex() const;  // -1 when nothing is chosen
    void setItemIndex(int index);

Q_SIGNALS:
    void itemIndexChanged(int index);

private:
    QButtonGroup *m_buttons;
    QStringList m_items;
};

} // namespace host
