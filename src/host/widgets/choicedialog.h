#pragma once

#include "host/services/choicerequest.h"

#include <QDialog>

class QDialogButtonBox;
class QLineEdit;
class QPushButton;
class QSortFilterProxyModel;
class QStandardItemModel;
class QTableView;
class QVBoxLayout;

namespace host {

// What the lookup and the multi-select dialogs share: a search box that filters the rows of a
// table as the user types, arrow keys in the search box that move through the table, Enter to
// confirm and Escape to cancel.
class ChoiceDialog : public QDialog
{
    Q_OBJECT
public:
    QLineEdit *searchEdit() const { return m_search; }
    QTableView *tableView() const { return m_view; }
    // Rows the search lets through.
    int shownRowCount() const;
    QPushButton *okButton() const;

protected:
    // With `checkColumn` the first column holds a check mark per row.
    ChoiceDialog(const ChoiceTable &table, bool checkColumn, QWidget *parent);

    bool eventFilter(QObject *watched, QEvent *event) override;
    // The row of the request that a row of the view shows; -1 for none.
    int sourceRow(int shownRow) const;
    int currentSourceRow() const;
    void selectShownRow(int shownRow);
    void selectSourceRow(int sourceRow);
    virtual void searchChanged() {}

    QStandardItemModel *m_model;
    QSortFilterProxyModel *m_proxy;
    QVBoxLayout *m_layout;
    QDialogButtonBox *m_buttons;

private:
    QLineEdit *m_search;
    QTableView *m_view;
};

} // namespace host
