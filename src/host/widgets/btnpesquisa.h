#pragma once

#include "host/services/dialogcontext.h"

#include <QToolButton>
#include <functional>

class QLineEdit;

namespace host {

class TDataSource;

// The lookup button beside a code edit. A click (or F4 in the associated edit) runs, through the
// dispatcher:
//   1. OnBeforePesq(sender, proceed): `proceed` comes in true; a handler that sets it false ends
//      the search. A handler that raises ends it too (the failure is shown), so the list never
//      opens on stale rows.
//   2. An empty or missing data set shows EmptyError and ends the search (an abort).
//   3. The single-choice list of the visible fields, starting at the row whose key equals the
//      associated edit's text (or the current row).
//   4. On a choice the row becomes current in the data set, its key (KeyField, by default the
//      first visible field other than the IDMARCADO mark) is written into the associated edit, which gets the focus, and
//      OnAfterPesq(sender) runs. A cancel does neither.
class TBtnPesquisa : public QToolButton
{
    Q_OBJECT
public:
    // The form that owns the button passes its context (setContext); the default is for callers without one.
    explicit TBtnPesquisa(QWidget *parent = nullptr, DialogContext context = DialogContext::installed());
    void setContext(const DialogContext &context) { m_context = context; }

    QLineEdit *Associate() const { return m_associate; }
    void setAssociate(QLineEdit *edit);

    QString Title;
    TDataSource *DataSource = nullptr;
    QString EmptyError;
    QString KeyField; // empty: the first visible field other than IDMARCADO

    std::function<void(QObject *sender, bool &proceed)> OnBeforePesq;
    std::function<void(QObject *sender)> OnAfterPesq;

    // The search itself, without the dispatcher: raises what the handlers raise.
    void Execute();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    QLineEdit *m_associate = nullptr;
    DialogContext m_context;
};

} // namespace host
