#include "server/health.h"

#include "server/schema.h"
#include "server/serverlog.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace server {

HealthAnswer checkDatabaseHealth(const DbSettings &settings)
{
    QString detail;
    try {
        QSqlDatabase db = threadConnection(settings);
        const int installed = installedSchemaVersion(db);
        if (installed == currentSchemaVersion())
            return {true, QJsonDocument(QJsonObject{{QStringLiteral("ok"), true}, {QStringLiteral("banco"), QStringLiteral("disponível")}})
                              .toJson(QJsonDocument::Compact)};
        detail = QStringLiteral("o banco tem o esquema versão %1; este servidor usa a %2").arg(installed).arg(currentSchemaVersion());
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
