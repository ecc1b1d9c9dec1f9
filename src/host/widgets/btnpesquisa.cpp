#include "host/widgets/btnpesquisa.h"

#include "host/data/dataset.h"
#include "host/data/errors.h"
#include "host/services/choicerequest.h"
#include "host/services/dispatcher.h"
#include "host/services/messages.h"
#include "host/services/userinteraction.h"

#include <QKeyEvent>
#include <QLineEdit>
#include <QStyle>

namespace host {

TBtnPesquisa::TBtnPesquisa(QWidget *parent, DialogContext context) : QToolButton(parent), m_context(std::move(context))
{
    setToolTip(QStringLiteral("Pesquisar"));
    setIcon(QIcon::fromTheme(QStringLiteral("edit-find"), style()->standardIcon(QStyle::SP_FileDialogContentsView)));
    setAutoRaise(true);
    setFocusPolicy(Qt::NoFocus);
    connect(this, &QToolButton::clicked, this, [this] { Dispatch([this] { Execute(); }, m_context.interaction()); });
}

void TBtnPesquisa::setAssociate(QLineEdit *edit)
{
    if (m_associate)
        m_associate->removeEventFilter(this);
    m_associate = edit;
    if (m_associate)
        m_associate->installEventFilter(this);
}

bool TBtnPesquisa::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == m_associate && event->type() == QEvent::KeyPress
        && static_cast<QKeyEvent *>(event)->key() == Qt::Key_F4 && isEnabled()) {
        click();
        return true;
    }
    return QToolButton::eventFilter(watched, event);
}

void TBtnPesquisa::Execute()
{
    bool proceed = true;
    if (OnBeforePesq)
        OnBeforePesq(this, proceed);
    if (!proceed)
        return;
    TDataSet *dataSet = DataSource ? DataSource->DataSet() : nullptr;
    if (!dataSet || dataSet->IsEmpty())
        MensErro(m_context.interaction(), EmptyError.isEmpty() ? QStringLiteral("Não há registros para pesquisar.") : EmptyError, true);

    QList<TField *> visible;
    for (TField *field : dataSet->Fields()) {
        if (field->Visible() && field->FieldName.compare(QLatin1String("IDMARCADO"), Qt::CaseInsensitive) != 0)
            visible.append(field);
    }
    const TField *key = KeyField.isEmpty() ? visible.value(0) : dataSet->FieldByName(KeyField);
    if (!key)
        throw HostError(QStringLiteral("A pesquisa \"%1\" não tem campo visível.").arg(Title));

    SingleChoiceRequest request;
    request.table = ChoiceTable::fromDataSet(*dataSet, Title);
    request.currentRow = dataSet->RecNo() - 1;
    const QString typed = m_associate ? m_associate->text().trimmed() : QString();
    for (int row = 0; !typed.isEmpty() && row < dataSet->RecordCount(); ++row) {
        if (dataSet->valueAt(row, key->index()).toString().trimmed() == typed) {
            request.currentRow = row;
            break;
        }
    }

    const std::optional<int> chosen = m_context.interaction().chooseRow(request);
    if (!chosen || *chosen < 0 || *chosen >= dataSet->RecordCount())
        return;
    dataSet->SetRecNo(*chosen + 1);
    if (m_associate) {
        m_associate->setText(key->AsString().trimmed());
        m_associate->setFocus();
    }
    if (OnAfterPesq)
        OnAfterPesq(this);
}

} // namespace host
