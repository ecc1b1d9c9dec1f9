#include "server/datagaps.h"

namespace server {

namespace {

// The distinct (branch, day) pairs of a day table in the scope, with a 1 in the flag column
// named and 0 in the others.
Sql daysOf(const QString &table, const QString &flag, const PlanScope &scope)
{
    QStringList flags;
    for (const QString &name : {QStringLiteral("IDPLAN"), QStringLiteral("IDSERV"), QStringLiteral("IDCONS")})
        flags << QStringLiteral("%1 AS %2").arg(name == flag ? 1 : 0).arg(name);
    Sql sql(QStringLiteral("SELECT DISTINCT X.CDFILIAL, X.DTREFEICAO, %1 FROM %2 X WHERE X.DTREFEICAO BETWEEN ? AND ?")
                .arg(flags.join(QStringLiteral(", ")), table));
    sql.bind(scope.start).bind(scope.end);
    restrictScope(sql, scope);
    return sql;
}

} // namespace

Sql dataGaps(const PlanScope &scope)
{
    Sql sql(QStringLiteral("WITH D AS (SELECT CDFILIAL, DTREFEICAO, MAX(IDPLAN) AS IDPLAN, MAX(IDSERV) AS IDSERV, MAX(IDCONS) AS IDCONS FROM ("));
    sql.add(daysOf(QStringLiteral("REFEPLAN"), QStringLiteral("IDPLAN"), scope))
        .add(QStringLiteral(" UNION ALL "))
        .add(daysOf(QStringLiteral("REFESERV"), QStringLiteral("IDSERV"), scope))
        .add(QStringLiteral(" UNION ALL "))
        .add(daysOf(QStringLiteral("CONSREAL"), QStringLiteral("IDCONS"), scope))
        .add(QStringLiteral(") A GROUP BY CDFILIAL, DTREFEICAO)"
                            " SELECT IDFALTA, CDFILIAL, DTREFEICAO FROM ("
                            " SELECT '%1' AS IDFALTA, CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 1 AND IDSERV = 0"
                            " UNION ALL SELECT '%2', CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 1 AND IDCONS = 0"
                            " UNION ALL SELECT '%3', CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 0) G")
                 .arg(QChar::fromLatin1(kGapNoServed)).arg(QChar::fromLatin1(kGapNoConsumption)).arg(QChar::fromLatin1(kGapNotPlanned)));
    return sql;
}

void storeDataGaps(QSqlDatabase &db, const QString &number, const PlanScope &scope)
{
    Sql sql(QStringLiteral("INSERT INTO FALTACONSPLAN (NRCONSPLAN, IDFALTA, CDFILIAL, DTREFEICAO) SELECT ?, G.IDFALTA, G.CDFILIAL, G.DTREFEICAO FROM ("));
    sql.bind(number).add(dataGaps(scope)).add(QStringLiteral(") G"));
    exec(db, sql, QStringLiteral("registrar os dias sem registro de refeições ou consumo"));
}

} // namespace server
