#include "host/widgets/pesquisalista.h"

#include "host/data/dataset.h"
#include "host/data/errors.h"
#include "host/services/dialogcontext.h"
#include "host/services/userinteraction.h"
#include "wire/keylist.h"

namespace host {

bool PesquisaLista(UserInteraction &ui, TDataSource *source, const QString &keyField, const QString &titles, bool flag,
                   QString &keyList)
{
    const QString title = titles.section(QLatin1Char('|'), 0, 0);
    const QString emptyText = titles.section(QLatin1Char('|'), 1);
    TDataSet *dataSet = source ? source->DataSet() : nullptr;
    if (!dataSet || dataSet->IsEmpty()) {
        ui.showInformation(emptyText.isEmpty() ? QStringLiteral("Não há registros para selecionar.") : emptyText);
        return false;
    }
    const TField *key = dataSet->FieldByName(keyField);
    const TField *storedMark = dataSet->FindField(QStringLiteral("IDMARCADO"));

    MultiChoiceRequest request;
    request.table = ChoiceTable::fromDataSet(*dataSet, title, {QStringLiteral("IDMARCADO")});
    const QStringList received = wire::splitKeyList(keyList);
    for (int row = 0; row < dataSet->RecordCount(); ++row) {
        const QString value = dataSet->valueAt(row, key->index()).toString().trimmed();
        const bool stored = flag && storedMark && dataSet->valueAt(row, storedMark->index()).toString() == QLatin1String("S");
        request.keys.append(value);
        request.marks.append(received.contains(value) || stored);
    }

    const std::optional<QList<bool>> marks = ui.chooseMarks(request);
    if (!marks)
        return false;
    keyList = wire::markedKeyList(request.keys, *marks);
    return true;
}

bool PesquisaLista(TDataSource *source, const QString &keyField, const QString &titles, bool flag, QString &keyList)
{
    return PesquisaLista(DialogContext::installed().interaction(), source, keyField, titles, flag, keyList);
}

} // namespace host
