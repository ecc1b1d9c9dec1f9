#pragma once

#include <QJsonObject>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <optional>
#include <utility>

namespace wire {

// The named SQL of a report layout file: one text per dialect key ("generic", "sqlite",
// "postgresql", ...), each given as a string or as an array of lines. Read the same way by the
// client, which shows the layout, and by the application server, which alone runs its queries.
struct LayoutQuery {
    QString name;
    QMap<QString, QString> sql; // by dialect key; "generic" always present

    // The dialect's own text, else the generic one.
    QString sqlFor(const QString &dialectKey) const { return sql.value(dialectKey, sql.value(QStringLiteral("generic"))); }
};

inline const QStringList kLayoutDialectKeys = {QStringLiteral("generic"), QStringLiteral("oracle"),  QStringLiteral("mssql"),
                                               QStringLiteral("interbase"), QStringLiteral("sqlite"), QStringLiteral("postgresql")};

// The "queries" of a layout's JSON root; nothing and `error` set when one lacks its generic text.
std::optional<QList<LayoutQuery>> readLayoutQueries(const QJsonObject &root, QString *error);

// The ":NAME" parameters of a statement, in order of first use, outside casts ("::date") and
// times ("12:30").
QStringList statementParameters(const QString &sql);
// The statement with each ":NAME" replaced by "?", and the names in the order they stand (one
// per "?"), for drivers that bind by position.
std::pair<QString, QStringList> positionalStatement(const QString &sql);

} // namespace wire
