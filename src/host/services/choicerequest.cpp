#include "host/services/choicerequest.h"

#include "host/data/dataset.h"

namespace host {

ChoiceTable ChoiceTable::fromDataSet(TDataSet &dataSet, const QString &title, const QStringList &hidden)
{
    ChoiceTable table;
    table.title = title;
    QList<int> columns;
    const QList<TField *> fields = dataSet.Fields();
    for (int i = 0; i < fields.size(); ++i) {
        const TField *field = fields[i];
        if (!field->Visible() || hidden.contains(field->FieldName, Qt::CaseInsensitive))
            continue;
        columns.append(i);
        table.headers.append(field->label());
        table.widths.append(field->DisplayWidth);
    }
    for (int row = 0; row < dataSet.RecordCount(); ++row) {
        QStringList cells;
        for (int column : columns) {
            const QVariant value = dataSet.valueAt(row, column);
            cells.append(fields[column]->DataType == FieldType::Date
                             ? value.toDate().toString(QStringLiteral("dd/MM/yyyy"))
                             : value.toString());
        }
        table.rows.append(cells);
    }
    return table;
}

} // namespace host
