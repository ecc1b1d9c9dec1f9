#include "server/audit.h"

#include "server/serverlog.h"
#include "server/sessions.h"

#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QSqlQuery>

namespace server {

namespace {

QString compact(const QJsonValue &value)
{
    if (value.isString())
        return value.toString();
    const QJsonDocument document = value.isArray() ? QJsonDocument(value.toArray()) : QJsonDocument(value.toObject());
    return QString::fromUtf8(document.toJson(QJsonDocument::Compact));
}

// The numbers a call made and how it ended, read from its answer: a plain plan number, or
// an envelope with the list numbers or a refusal.
void readOutcome(const QJsonValue &answer, AuditEntry *entry)
{
    if (answer.isString()) {
        const QString text = answer.toString();
        const bool number = text.size() == 10;
        entry->numbers = number ? text : QString();
        entry->outcome = number ? QStringLiteral("ok") : text;
        return;
    }
    const QJsonObject envelope = answer.toObject();
    if (envelope.value(QStringLiteral("ok")).toBool()) {
        entry->outcome = QStringLiteral("ok");
        entry->numbers = compact(envelope.value(QStringLiteral("data")));
    } else {
        entry->outcome = envelope.value(QStringLiteral("message")).toString();
    }
}

void record(const DbSettings &settings, const AuditEntry &entry)
{
    try {
        QSqlDatabase db = threadConnection(settings);
        WriteTransaction transaction(db);
        exec(db,
             Sql(QStringLiteral("INSERT INTO AUDITORIA (DTINICIO, CDOPERADOR, NMMETODO, DSFILTROS, NRCONSPLAN, DSRESULTADO, QTDURACAOMS)"
                                " VALUES (?, ?, ?, ?, ?, ?, ?)"))
                 .bind(entry.start).bind(entry.operatorCode.left(20)).bind(entry.method).bind(entry.filters.left(20000))
                 .bind(entry.numbers.left(40)).bind(entry.outcome.left(2000)).bind(entry.durationMs),
             QStringLiteral("gravar a auditoria"));
        transaction.commit();
    } catch (const DbError &error) {
        dropThreadConnection();
        logLine(LogLevel::Error, QStringLiteral("auditoria de %1 não gravada: %2").arg(entry.method, error.message));
    }
}

} // namespace

Handler audited(const DbSettings &settings, const QString &method, int operatorArgument, Handler inner)
{
    return [settings, method, operatorArgument, inner = std::move(inner)](const Args &args) {
        const Caller &caller = Caller::current();
        AuditEntry entry;
        entry.start = QDateTime::currentDateTimeUtc();
        entry.method = method;
        entry.operatorCode = caller.isOperator() ? caller.account.code
            : operatorArgument >= 0               ? args.raw(operatorArgument).toString().trimmed()
                                                  : QString();
        QJsonArray arguments;
        for (int i = 0; args.raw(i).type() != QJsonValue::Undefined; ++i)
            arguments.append(args.raw(i));
        entry.filters = compact(arguments);
        QElapsedTimer timer;
        timer.start();
        try {
            CallResult result = inner(args);
            entry.durationMs = timer.elapsed();
            readOutcome(result.answer, &entry);
            record(settings, entry);
            return result;
        } catch (const CallError &error) {
            entry.outcome = error.message;
            entry.durationMs = timer.elapsed();
            record(settings, entry);
            throw;
        } catch (const DbError &) {
            // The detail is the log's, under the incident number the dispatcher gives it.
            entry.outcome = QStringLiteral("falha no banco de dados");
            entry.durationMs = timer.elapsed();
            dropThreadConnection();
            record(settings, entry);
            throw;
        }
    };
}

QList<AuditEntry> readAudit(QSqlDatabase &db, const QDateTime &since)
{
    QSqlQuery query = exec(db,
                           Sql(QStringLiteral("SELECT DTINICIO, CDOPERADOR, NMMETODO, DSFILTROS, NRCONSPLAN, DSRESULTADO, QTDURACAOMS"
                                              " FROM AUDITORIA WHERE DTINICIO >= ? ORDER BY DTINICIO"))
                               .bind(since.toUTC()),
                           QStringLiteral("ler a auditoria"));
    QList<AuditEntry> entries;
    while (query.next()) {
        entries << AuditEntry{query.value(0).toDateTime().toUTC(), query.value(1).toString(), query.value(2).toString(),
                              query.value(3).toString(),           query.value(4).toString(), query.value(5).toString(),
                              query.value(6).toLongLong()};
    }
    return entries;
}

QString describe(const AuditEntry &entry)
{
    return QStringLiteral("%1  %2  %3  %4 ms  %5  %6  %7")
        .arg(entry.start.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss")), entry.operatorCode.leftJustified(8),
             entry.method, QString::number(entry.durationMs), entry.numbers.isEmpty() ? QStringLiteral("-") : entry.numbers,
             entry.outcome, entry.filters);
}

} // namespace server
