#include "host/widgets/lookupdialog.h"

#include <QPushButton>
#include <QTableView>

namespace host {

LookupDialog::LookupDialog(const SingleChoiceRequest &request, QWidget *parent)
    : ChoiceDialog(request.table, false, parent)
{
    connect(tableView(), &QTableView::doubleClicked, this, [this] {
        if (currentSourceRow() >= 0)
            accept();
    });
    if (request.currentRow >= 0)
        selectSourceRow(request.currentRow);
    else
        selectShownRow(0);
    searchChanged();
}

int LookupDialog::chosenRow() const
{
    return result() == QDialog::Accepted ? currentSourceRow() : -1;
}

void LookupDialog::searchChanged()
{
    okButton()->setEnabled(currentSourceRow() >= 0);
}

} // namespace host
