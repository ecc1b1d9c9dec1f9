#include "server/datagaps.h"

namespace server {

namespace {

// The days of each branch of the scope that have a row of `table`, as a query named `name`
// (CDFILIAL, DTREFEICAO). Planned and served meals have a few rows per day: their
// (CDFILIAL, DTREFEICAO) index is read in order, each day once. Consumption has some 25 rows per
// service and day, so `jump` makes the query recursive: from each branch's first day in the
// period it jumps to the next day with rows through that index, one lookup per day found
// instead of a read of every row.
Sql daysWithRows(const QString &name, const QString &table, const PlanScope &scope, bool jump)
{
    if (!jump) {
        Sql sql(QStringLiteral("%1 (CDFILIAL, DTREFEICAO) AS (SELECT DISTINCT X.CDFILIAL, X.DTREFEICAO FROM %2 X WHERE X.DTREFEICAO BETWEEN ? AND ?")
                    .arg(name, table));
        sql.bind(scope.start).bind(scope.end);
        restrictScope(sql, scope);
        sql.add(QStringLiteral(")"));
        return sql;
    }
    // The next day's rows must be of the scope's services and menu types.
    auto restrictRows = [&scope](Sql &sql) {
        restrictServices(sql, QStringLiteral("X"), scope.services);
        restrictKeys(sql, QStringLiteral("X.CDTIPOCARD"), scope.menuTypes);
    };
    Sql sql(QStringLiteral("%1 (CDFILIAL, DTREFEICAO) AS (SELECT B.CDFILIAL, (SELECT MIN(X.DTREFEICAO) FROM %2 X"
                           " WHERE X.CDFILIAL = B.CDFILIAL AND X.DTREFEICAO BETWEEN ? AND ?")
                .arg(name, table));
    sql.bind(scope.start).bind(scope.end);
    restrictRows(sql);
    sql.add(QStringLiteral(") FROM FILIAL B WHERE B.CDFILIAL IN (SELECT F.CDFILIAL FROM FILIAL F WHERE 1 = 1"));
    restrictBranches(sql, scope.central, scope.branches);
    sql.add(QStringLiteral(") UNION ALL SELECT B.CDFILIAL, (SELECT MIN(X.DTREFEICAO) FROM %1 X"
                           " WHERE X.CDFILIAL = B.CDFILIAL AND X.DTREFEICAO > B.DTREFEICAO AND X.DTREFEICAO <= ?")
                .arg(table));
    sql.bind(scope.end);
    restrictRows(sql);
    sql.add(QStringLiteral(") FROM %1 B WHERE B.DTREFEICAO IS NOT NULL)").arg(name));
    return sql;
}

} // namespace

Sql dataGaps(const PlanScope &scope)
{
    Sql sql(QStringLiteral("WITH RECURSIVE "));
    sql.add(daysWithRows(QStringLiteral("PLANEJADO"), QStringLiteral("REFEPLAN"), scope, false))
        .add(QStringLiteral(", "))
        .add(daysWithRows(QStringLiteral("SERVIDO"), QStringLiteral("REFESERV"), scope, false))
        .add(QStringLiteral(", "))
        .add(daysWithRows(QStringLiteral("CONSUMIDO"), QStringLiteral("CONSREAL"), scope, true))
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
