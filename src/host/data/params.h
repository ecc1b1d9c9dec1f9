#pragma once

#include <QDateTime>
#include <QList>
#include <QString>
#include <QVariant>

namespace host {

enum class ParamType { Unknown, String, DateTime, Integer };

// A named, typed value handed to a query or a report layout.
class TParam
{
public:
    TParam() = default;
    TParam(const QString &name, ParamType type) : Name(name), DataType(type) {}

    QString Name;
    ParamType DataType = ParamType::Unknown;
    QVariant Value;

    void setAsString(const QString &value) { Value = value; DataType = ParamType::String; }
    void setAsDateTime(const QDateTime &value) { Value = value; DataType = ParamType::DateTime; }
    void setAsInteger(qint64 value) { Value = value; DataType = ParamType::Integer; }
    QString AsString() const { return Value.toString(); }
    QDateTime AsDateTime() const { return Value.toDateTime(); }
    qint64 AsInteger() const { return Value.toLongLong(); }
    bool IsNull() const { return !Value.isValid() || Value.isNull(); }
};

class TParams
{
public:
    bool ExistParam(const QString &name) const { return find(name) != nullptr; }
    // Raises when the list has no such name: setting an undeclared parameter is a fault.
    TParam &ParamByName(const QString &name);
    const TParam &ParamByName(const QString &name) const;
    TParam *find(const QString &name);
    const TParam *find(const QString &name) const;
    // Adds the name when it is not there yet, and answers the parameter.
    TParam &declare(const QString &name, ParamType type = ParamType::Unknown);
    void clear() { m_params.clear(); }
    const QList<TParam> &items() const { return m_params; }
    int count() const { return int(m_params.size()); }

private:
    QList<TParam> m_params;
};

} // namespace host
