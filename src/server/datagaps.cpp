#include "server/datagaps.h"

#include "server/summaries.h"

namespace server {

namespace {

// The days of each branch of the scope that have a row of `table`, as a query named `name`
// (CDFILIAL, DTREFEICAO), read in the order of the table's (CDFILIAL, DTREFEICAO) index. Planned
// and served meals have a few rows per day; consumption is read from its days (CONSREALDIA), not
// from its some 25 rows per service and day.
Sql daysWithRows(const QString &name, const QString &table, const PlanScope &scope)
{
    Sql sql(QStringLiteral("%1 (CDFILIAL, DTREFEICAO) AS (SELECT DISTINCT X.CDFILIAL, X.DTREFEICAO FROM %2 X WHERE X.DTREFEICAO BETWEEN ? AND ?")
                .arg(name, table));
    sql.bind(scope.start).bind(scope.end);
    restrictScope(sql, scope);
    sql.add(QStringLiteral(")"));
    return sql;
}

} // namespace

Sql dataGaps(const PlanScope &scope)
{
    Sql sql(QStringLiteral("WITH "));
    sql.add(daysWithRows(QStringLiteral("PLANEJADO"), QStringLiteral("REFEPLAN"), scope))
        .add(QStringLiteral(", "))
        .add(daysWithRows(QStringLiteral("SERVIDO"), QStringLiteral("REFESERV"), scope))
        .add(QStringLiteral(", "))
        .add(daysWithRows(QStringLiteral("CONSUMIDO"), consumptionDays().table, scope))
        .add(QStringLiteral(", D AS (SELECT CDFILIAL, DTREFEICAO, MAX(IDPLAN) AS IDPLAN, MAX(IDSERV) AS IDSERV, MAX(IDCONS) AS IDCONS FROM ("
                            " SELECT CDFILIAL, DTREFEICAO, 1 AS IDPLAN, 0 AS IDSERV, 0 AS IDCONS FROM PLANEJADO WHERE DTREFEICAO IS NOT NULL"
                            " UNION ALL SELECT CDFILIAL, DTREFEICAO, 0, 1, 0 FROM SERVIDO WHERE DTREFEICAO IS NOT NULL"
                            " UNION ALL SELECT CDFILIAL, DTREFEICAO, 0, 0, 1 FROM CONSUMIDO WHERE DTREFEICAO IS NOT NULL"
                            ") A GROUP BY CDFILIAL, DTREFEICAO)"
                            " SELECT '%1' AS IDFALTA, CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 1 AND IDSERV = 0"
                            " UNION ALL SELECT '%2', CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 1 AND IDCONS = 0"
                            " UNION ALL SELECT '%3', CDFILIAL, DTREFEICAO FROM D WHERE IDPLAN = 0")
                 .arg(QChar::fromLatin1(kGapNoServed))
                 .arg(QChar::fromLatin1(kGapNoConsumption))
                 .arg(QChar::fromLatin1(kGapNotPlanned)));
    return sql;
}

void storeDataGaps(QSqlDatabase &db, const QString &number, const PlanScope &scope)
{
    Sql sql(QStringLiteral("INSERT INTO FALTACONSPLAN (NRCONSPLAN, IDFALTA, CDFILIAL, DTREFEICAO) SELECT ?, G.IDFALTA, G.CDFILIAL, G.DTREFEICAO FROM ("));
    sql.bind(number).add(dataGaps(scope)).add(QStringLiteral(") G"));
    exec(db, sql, QStringLiteral("registrar os dias sem registro de refeições ou consumo"));
}

} // namespace server
