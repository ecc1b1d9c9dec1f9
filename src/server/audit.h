#pragma once

#include "server/database.h"
#include "server/rpcdispatcher.h"

#include <QDateTime>
#include <QList>

#include <memory>

namespace server {

struct Caller;

// One report run, sign-in or sign-out as the audit keeps it.
struct AuditEntry {
    QDateTime start;     // UTC
    QString operatorCode;
    QString address;     // where the call came from (the client behind a trusted proxy)
    QString method;
    QString filters;     // the call's arguments as JSON
    QString numbers;     // the plan or list numbers it made, if any
    QString outcome;     // "ok" or the refusal or failure
    qint64 durationMs = 0;
};

// Who the audit names for a call: the session's operator, or the machine (the shared token's
// caller) whatever operator its arguments name, since nothing vouches for those.
inline const QString kMachineAuditName = QStringLiteral("(máquina)");
inline const QString kAnonymousAuditName = QStringLiteral("(anônimo)");
QString auditedName(const Caller &caller);

// Wraps a report method so each call leaves an audit row: who (see auditedName), when, with
// which arguments, what it made, how it ended and how long it took. A failure to write the row
// is logged, never the caller's.
// Refusals: only calls refused or failed leave a row (a method called many times per report,
// whose refusals are what an audit must show).
enum class AuditOnly { All, Refusals };
Handler audited(const DbSettings &settings, const QString &method, Handler inner, AuditOnly which = AuditOnly::All);
// Writes one row (with the running call's address when none is given); when the database is
// busy the audit writer takes it, so the call does not wait.
void recordAudit(const DbSettings &settings, AuditEntry entry);
// Hands a row to the audit writer: the call does not wait for it.
void postAudit(AuditEntry entry);
// A rights check refused the running call: a row naming caller, address, method and refusal,
// written by the audit writer (the call does not wait for it).
void auditRefusal(const QString &refusal);

// Writes, on a thread of its own, the audit rows that could not be written as their call ended
// (another writer held the database, or it could not be reached), trying again until written,
// so a call neither waits for its row nor loses it. Without one (tools, tests that run handlers
// directly) such a row is logged as lost.
// With a spool file the rows waiting are also kept there, owner-only, one JSON line each, so a
// stop, a crash or an outage longer than memory holds loses none: the next start writes them.
// (A crash between a batch's commit and the note of it may write up to one batch twice.)
class AuditWriter
{
public:
    explicit AuditWriter(const DbSettings &settings, const QString &spoolFile = {});
    // Writes what is still queued, for a few seconds at most, then stops.
    ~AuditWriter();
    AuditWriter(const AuditWriter &) = delete;
    AuditWriter &operator=(const AuditWriter &) = delete;

    void post(AuditEntry entry);

private:
    struct State;
    std::unique_ptr<State> m_state;
};

// Where a server keeps the audit rows waiting for the database: beside a SQLite file; for
// PostgreSQL in the service's state folder ($STATE_DIRECTORY), else nowhere (memory only).
QString defaultAuditSpool(const DbSettings &settings);

// The address of the call running on this thread, as the audit and the log show it; "" outside calls.
QString callerAddress();

// The audit from `since` (UTC) on, oldest first.
QList<AuditEntry> readAudit(QSqlDatabase &db, const QDateTime &since);
// One line of `zub-server --audit`.
QString describe(const AuditEntry &entry);

} // namespace server
