#include "wire/datapacket.h"

#include "wire/wirevalue.h"

#include <QJsonArray>

namespace wire {

int DataPacket::fieldIndex(const QString &name) const
{
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].name.compare(name, Qt::CaseInsensitive) == 0)
            return i;
    }
    return -1;
}

QVariant DataPacket::value(int row, const QString &field) const
{
    const int column = fieldIndex(field);
    if (row < 0 || row >= rows.size() || column < 0 || column >= rows[row].size())
        return {};
    return rows[row][column];
}

QJsonObject DataPacket::toJson() const
{
    QJsonArray jsonFields;
    for (const FieldDef &field : fields) {
        QJsonObject f{{"name", field.name}, {"type", field.type}};
        if (field.size > 0)
            f.insert("size", field.size);
        jsonFields.append(f);
    }
    QJsonArray jsonRows;
    for (const QVariantList &row : rows) {
        QJsonArray jsonRow;
        for (const QVariant &cell : row)
            jsonRow.append(wire::toJson(cell));
        jsonRows.append(jsonRow);
    }
    return QJsonObject{{"fields", jsonFields}, {"rows", jsonRows}};
}

QVariant DataPacket::toVariant() const
{
    return wire::fromJson(toJson());
}

static std::optional<DataPacket> failWith(QString *error, const QString &text)
{
    if (error)
        *error = text;
    return std::nullopt;
}

std::optional<DataPacket> DataPacket::fromJson(const QJsonValue &json, QString *error)
{
    if (!json.isObject())
        return failWith(error, QStringLiteral("o pacote de dados não é um objeto"));
    const QJsonObject object = json.toObject();
    if (!object.value("fields").isArray() || !object.value("rows").isArray())
        return failWith(error, QStringLiteral("o pacote de dados não tem \"fields\" e \"rows\""));

    DataPacket packet;
    for (const QJsonValue &f : object.value("fields").toArray()) {
        const QJsonObject fo = f.toObject();
        if (!fo.value("name").isString() || fo.value("name").toString().isEmpty())
            return failWith(error, QStringLiteral("campo sem nome no pacote de dados"));
        FieldDef def;
        def.name = fo.value("name").toString();
        def.type = fo.value("type").toString(QStringLiteral("string"));
        def.size = fo.value("size").toInt(0);
        packet.fields.append(def);
    }
    const qsizetype width = packet.fields.size();
    for (const QJsonValue &r : object.value("rows").toArray()) {
        if (!r.isArray() || r.toArray().size() != width)
            return failWith(error, QStringLiteral("linha do pacote de dados com número de colunas diferente do de campos"));
        QVariantList row;
        row.reserve(width);
        for (const QJsonValue &cell : r.toArray())
            row.append(wire::fromJson(cell));
        packet.rows.append(row);
    }
    return packet;
}

std::optional<DataPacket> DataPacket::fromVariant(const QVariant &value, QString *error)
{
    if (value.typeId() != QMetaType::QVariantMap)
        return failWith(error, QStringLiteral("a resposta não é um pacote de dados"));
    return fromJson(wire::toJson(value), error);
}

namespace envelope {

QJsonObject ok(const QJsonValue &data)
{
    return QJsonObject{{"ok", true}, {"data", data}};
}

QJsonObject fail(const QString &message)
{
    return QJsonObject{{"ok", false}, {"message", message}};
}

} // namespace envelope
} // namespace wire
