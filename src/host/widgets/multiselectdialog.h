#pragma once

#include "host/widgets/choicedialog.h"

class QLabel;

namespace host {

// The multi-select list of PesquisaLista: a check mark per row (Space or a click toggles the
// current row), "Marcar todos" and "Desmarcar todos" over the rows the search lets through.
class MultiSelectDialog : public ChoiceDialog
{
    Q_OBJECT
public:
    explicit MultiSelectDialog(const MultiChoiceRequest &request, QWidget *parent = nullptr);

    QList<bool> marks() const;
    void setAllShown(bool marked);
    void toggleCurrent();
    QPushButton *markAllButton() const { return m_markAll; }
    QPushButton *markNoneButton() const { return m_markNone; }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void updateCount();
    QPushButton *m_markAll;
    QPushButton *m_markNone;
    QLabel *m_count;
};

} // namespace host
