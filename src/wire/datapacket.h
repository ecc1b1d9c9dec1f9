#pragma once

#include <QJsonObject>
#include <QList>
#include <QString>
#include <QVariant>
#include <optional>

namespace wire {

struct FieldDef {
    QString name;
    QString type = QStringLiteral("string"); // "string", "integer", "number" or "date"
    int size = 0;
};

// A table answer: {"fields":[{"name":..,"type":..,"size":..}],"rows":[[..],..]}.
struct DataPacket {
    QList<FieldDef> fields;
    QList<QVariantList> rows;

    int fieldIndex(const QString &name) const; // -1 when absent; names compare case-insensitively
    QVariant value(int row, const QString &field) const;

    QJsonObject toJson() const;
    QVariant toVariant() const;

    // Parses a packet; on failure returns nothing and says why in *error.
    static std::optional<DataPacket> fromJson(const QJsonValue &json, QString *error = nullptr);
    static std::optional<DataPacket> fromVariant(const QVariant &value, QString *error = nullptr);
};

// The envelope every answer but the plan preparation's travels in.
namespace envelope {
QJsonObject ok(const QJsonValue &data);
QJsonObject fail(const QString &message);
} // namespace envelope

} // namespace wire
