#pragma once

#include "host/widgets/choicedialog.h"

namespace host {

// The single-choice list of the lookup button: Enter or a double click takes the current row.
class LookupDialog : public ChoiceDialog
{
    Q_OBJECT
public:
    explicit LookupDialog(const SingleChoiceRequest &request, QWidget *parent = nullptr);

    // The chosen row of the request, once accepted; -1 otherwise.
    int chosenRow() const;

protected:
    void searchChanged() override;
};

} // namespace host
