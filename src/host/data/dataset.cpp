#include "host/data/dataset.h"

#include "host/data/errors.h"
#include "wire/datapacket.h"

namespace host {

TField::TField(TDataSet *dataSet, const QString &name, FieldType type, int size, bool required)
    : FieldName(name), DataType(type), Size(size), Required(required), m_dataSet(dataSet)
{
}

void TField::setVisible(bool visible)
{
    if (m_visible == visible)
        return;
    m_visible = visible;
    Q_EMIT m_dataSet->fieldsChanged();
}

int TField::index() const
{
    for (size_t i = 0; i < m_dataSet->m_fields.size(); ++i) {
        if (m_dataSet->m_fields[i].get() == this)
            return int(i);
    }
    return -1;
}

QVariant TField::Value() const
{
    return m_dataSet->currentValue(index());
}

QString TField::AsString() const
{
    const QVariant value = Value();
    if (DataType == FieldType::Date)
        return value.toDate().toString(QStringLiteral("dd/MM/yyyy"));
    return value.toString();
}

qint64 TField::AsInteger() const
{
    return Value().toLongLong();
}

QDate TField::AsDate() const
{
    return Value().toDate();
}

bool TField::IsNull() const
{
    const QVariant value = Value();
    return !value.isValid() || value.isNull();
}

TDataSet::TDataSet(const QString &name, QObject *parent) : QObject(parent)
{
    setObjectName(name);
}

TDataSet::~TDataSet() = default;

TField *TDataSet::AddField(const QString &name, FieldType type, int size, bool required, const QString &label,
                           int displayWidth)
{
    auto field = std::make_unique<TField>(this, name, type, size, required);
    field->DisplayLabel = label;
    field->DisplayWidth = displayWidth;
    m_fields.push_back(std::move(field));
    return m_fields.back().get();
}

TField *TDataSet::FindField(const QString &name) const
{
    for (const auto &field : m_fields) {
        if (field->FieldName.compare(name, Qt::CaseInsensitive) == 0)
            return field.get();
    }
    return nullptr;
}

TField *TDataSet::FieldByName(const QString &name) const
{
    if (TField *field = FindField(name))
        return field;
    throw HostError(QStringLiteral("Campo \"%1\" não encontrado em %2.").arg(name, objectName()));
}

QList<TField *> TDataSet::Fields() const
{
    QList<TField *> fields;
    for (const auto &field : m_fields)
        fields.append(field.get());
    return fields;
}

void TDataSet::First()
{
    const int before = m_current;
    m_current = m_rows.isEmpty() ? -1 : 0;
    if (before != m_current)
        Q_EMIT currentChanged();
}

void TDataSet::Next()
{
    if (m_current < 0)
        return;
    // Past the last row Eof() turns true; there is then no current row.
    ++m_current;
    if (m_current >= m_rows.size())
        m_current = int(m_rows.size());
    Q_EMIT currentChanged();
}

void TDataSet::Last()
{
    m_current = int(m_rows.size()) - 1;
    Q_EMIT currentChanged();
}

bool TDataSet::Eof() const
{
    return m_rows.isEmpty() || m_current >= m_rows.size();
}

void TDataSet::SetRecNo(int recNo)
{
    if (recNo < 1 || recNo > m_rows.size())
        return;
    m_current = recNo - 1;
    Q_EMIT currentChanged();
}

QVariant TDataSet::valueAt(int row, int column) const
{
    if (row < 0 || row >= m_rows.size() || column < 0 || column >= m_rows[row].size())
        return {};
    return m_rows[row][column];
}

QVariant TDataSet::currentValue(int column) const
{
    return valueAt(m_current, column);
}

void TDataSet::resetRows(QList<QVariantList> rows)
{
    m_rows = std::move(rows);
    m_current = m_rows.isEmpty() ? -1 : 0;
    m_active = true;
    Q_EMIT dataReset();
}

void TDataSet::closeRows()
{
    m_rows.clear();
    m_current = -1;
    m_active = false;
    Q_EMIT dataReset();
}

void TDataSet::clearFields()
{
    m_fields.clear();
}

QVariant TDataSet::convert(const QVariant &raw, const TField &field)
{
    if (!raw.isValid() || raw.isNull())
        return {};
    switch (field.DataType) {
    case FieldType::String:
    case FieldType::FixedString:
        return raw.toString();
    case FieldType::Integer: {
        bool ok = false;
        const qint64 value = raw.toLongLong(&ok);
        if (!ok)
            throw HostError(QStringLiteral("Valor \"%1\" do campo %2 não é um número inteiro.").arg(raw.toString(), field.FieldName));
        return value;
    }
    case FieldType::Float: {
        bool ok = false;
        const double value = raw.toDouble(&ok);
        if (!ok)
            throw HostError(QStringLiteral("Valor \"%1\" do campo %2 não é um número.").arg(raw.toString(), field.FieldName));
        return value;
    }
    case FieldType::Date: {
        if (raw.typeId() == QMetaType::QDate)
            return raw;
        if (raw.typeId() == QMetaType::QDateTime)
            return raw.toDateTime().date();
        const QDate date = QDate::fromString(raw.toString().left(10), Qt::ISODate);
        if (!date.isValid())
            throw HostError(QStringLiteral("Valor \"%1\" do campo %2 não é uma data.").arg(raw.toString(), field.FieldName));
        return date;
    }
    }
    return raw;
}

static FieldType fieldTypeFromWire(const QString &type)
{
    if (type == QLatin1String("integer"))
        return FieldType::Integer;
    if (type == QLatin1String("number"))
        return FieldType::Float;
    if (type == QLatin1String("date"))
        return FieldType::Date;
    return FieldType::String;
}

void TClientDataSet::LoadFromPacket(const QVariant &packetValue)
{
    QString problem;
    const auto packet = wire::DataPacket::fromVariant(packetValue, &problem);
    if (!packet)
        throw HostError(QStringLiteral("Resposta do servidor inválida para %1: %2.").arg(objectName(), problem));

    if (Fields().isEmpty()) {
        for (const wire::FieldDef &def : packet->fields)
            AddField(def.name, fieldTypeFromWire(def.type), def.size);
    }
    const QList<TField *> fields = Fields();
    QList<int> columns;
    for (TField *field : fields) {
        const int column = packet->fieldIndex(field->FieldName);
        if (column < 0)
            throw HostError(QStringLiteral("O pacote de dados recebido para %1 não traz o campo %2.")
                                .arg(objectName(), field->FieldName));
        columns.append(column);
    }
    QList<QVariantList> rows;
    rows.reserve(packet->rows.size());
    for (const QVariantList &packetRow : packet->rows) {
        QVariantList row;
        row.reserve(fields.size());
        for (int i = 0; i < fields.size(); ++i)
            row.append(convert(packetRow.value(columns[i]), *fields[i]));
        rows.append(row);
    }
    resetRows(std::move(rows));
}

} // namespace host
