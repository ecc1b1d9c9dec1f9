#include "server/health.h"

#include "server/schema.h"
#include "server/serverlog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace server {

// A standby, or a database set read-only, answers reads but fails every write: during a failover,
// until a new primary takes over, a server on it must be taken out of the balancer.
static bool takesNoWrites(QSqlDatabase &db)
{
    if (dialectOf(db) != Dialect::Postgres)
        return false;
    const QString what = QStringLiteral("verificar se o banco aceita gravações");
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT current_setting('transaction_read_only')")), what);
    return nextRow(db, query, what) && query.value(0).toString() == QLatin1String("on");
}

HealthAnswer checkDatabaseHealth(const DbSettings &settings)
{
    QString detail;
    try {
        QSqlDatabase db = threadConnection(settings);
        const int installed = installedSchemaVersion(db);
        if (installed == currentSchemaVersion() && !takesNoWrites(db))
            return {true, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("banco"), QStringLiteral("disponível")}})
                              .toJson(QJsonDocument::Compact)};
        detail = installed == currentSchemaVersion()
                     ? QStringLiteral("o banco só aceita leitura (um servidor em espera, sem primário ainda)")
                     : QStringLiteral("o banco tem o esquema versão %1; este servidor usa a %2").arg(installed).arg(currentSchemaVersion());
    } catch (const DbError &error) {
        dropThreadConnection();
        detail = error.message;
    }
    const QString incident = newIncident();
    logLine(LogLevel::Error, QStringLiteral("ocorrência %1: /saude: %2").arg(incident, detail));
    const QJsonObject answer{{QStringLiteral("ok"), false},
                             {QStringLiteral("banco"), QStringLiteral("indisponível")},
                             {QStringLiteral("message"), QStringLiteral("O banco de dados não está em condições de uso (ocorrência %1).").arg(incident)}};
    return {false, QJsonDocument(answer).toJson(QJsonDocument::Compact)};
}

} // namespace server
