#include "server/sweeper.h"

#include "server/database.h"
#include "server/reportdata.h"

namespace server {

SweepResult sweepTemporaryData(QSqlDatabase &db, const QDateTime &cutoff, const QDateTime &auditCutoff)
{
    const QDateTime utc = cutoff.toUTC();
    const QString what = QStringLiteral("remover dados temporários antigos");
    SweepResult result;
    WriteTransaction transaction(db);
    // Servers sharing a PostgreSQL database all sweep; one at a time is enough, and two deleting
    // the same rows in different orders could deadlock. The lock ends with the transaction.
    if (dialectOf(db) == Dialect::Postgres) {
        QSqlQuery turn = exec(db, Sql(QStringLiteral("SELECT pg_try_advisory_xact_lock(4701101)")), what);
        if (!nextRow(db, turn, what) || !turn.value(0).toBool())
            return result;
    }
    for (const QString &table : kReportDataTables)
        exec(db, Sql(QStringLiteral("DELETE FROM %1 WHERE NRCONSPLAN IN (SELECT NRCONSPLAN FROM CONSPLAN WHERE DTCRIACAO < ?)").arg(table)).bind(utc), what);
    result.plans = exec(db, Sql(QStringLiteral("DELETE FROM CONSPLAN WHERE DTCRIACAO < ?")).bind(utc), what).numRowsAffected();
    result.listRows = exec(db, Sql(QStringLiteral("DELETE FROM LISTA WHERE DTCRIACAO < ?")).bind(utc), what).numRowsAffected();
    if (auditCutoff.isValid())
        result.auditRows = exec(db, Sql(QStringLiteral("DELETE FROM AUDITORIA WHERE DTINICIO < ?")).bind(auditCutoff.toUTC()),
                                QStringLiteral("remover a auditoria vencida")).numRowsAffected();
    transaction.commit();
    return result;
}

} // namespace server
