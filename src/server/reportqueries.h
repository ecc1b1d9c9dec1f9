#pragma once

#include "server/database.h"
#include "server/sessions.h"
#include "wire/layoutqueries.h"

#include <QDateTime>
#include <QHash>
#include <QJsonObject>

#include <mutex>

namespace server {

// The report layouts installed with the server (<folder>/<report code>/<file>.json), whose queries
// are the only SQL a report runs: a client names the report, the layout file and the query, never
// sends SQL. Files are read again when they change.
class ReportQueries
{
public:
    explicit ReportQueries(const QString &folder) : m_folder(folder) {}

    const QString &folder() const { return m_folder; }
    // The query, or a Refusal naming what is wrong (a code or file name that is not one, a file
    // not installed, a query the layout does not have).
    wire::LayoutQuery find(const QString &reportCode, const QString &layoutFile, const QString &queryName) const;

private:
    struct Loaded {
        QDateTime modified;
        QList<wire::LayoutQuery> queries;
    };
    QString m_folder;
    mutable std::mutex m_mutex;
    mutable QHash<QString, Loaded> m_files;
};

// A code given among a call's parameters: letters and digits, as every code the server takes,
// 1 to `maxLength` of them (or none, when `required` is false). Raises Refusal naming `name`.
QString checkedCodeParameter(const QJsonValue &value, const QString &name, int maxLength, bool required);

// The values of a query's parameters, checked against the caller before any row is read: plan and
// list numbers must be the caller's own, the central within its rights, dates, flags and numbers
// strict; a parameter the server has no rule for is refused. Raises Refusal; answers the values
// to bind, by name.
QHash<QString, QVariant> checkedReportParameters(QSqlDatabase &db, const Caller &caller, const QStringList &names,
                                                 const QJsonObject &given);

} // namespace server
