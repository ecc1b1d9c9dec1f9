#pragma once

#include "server/database.h"
#include "server/rpcdispatcher.h"

#include <QDateTime>
#include <QList>

namespace server {

// One report run as the audit keeps it.
struct AuditEntry {
    QDateTime start;     // UTC
    QString operatorCode;
    QString method;
    QString filters;     // the call's arguments as JSON
    QString numbers;     // the plan or list numbers it made, if any
    QString outcome;     // "ok" or the refusal or failure
    qint64 durationMs = 0;
};

// Wraps a report method so each call leaves an audit row: who (the session's operator, or the
// operator argument of a machine caller), when, with which arguments, what it made, how it
// ended and how long it took. A failure to write the row is logged, never the caller's.
Handler audited(const DbSettings &settings, const QString &method, int operatorArgument, Handler inner);

// The audit from `since` (UTC) on, oldest first.
QList<AuditEntry> readAudit(QSqlDatabase &db, const QDateTime &since);
// One line of `zub-server --audit`.
QString describe(const AuditEntry &entry);

} // namespace server
