#include "server/datagaps.h"


namespace server {

Sql dataGaps(Dialect dialect, const PlanScope &scope)
{
    // One row per branch and day, read in the order of REGISTRODIA's key, so the grouping needs
    // no sort; a day is planned, served or consumed when any of the scope's services and menu
    // types has rows of that kind on it.
    const GroupedRows days{QStringLiteral("REGISTRODIA X"),
                           QStringLiteral("X.DTREFEICAO,"
                                          " MAX(CASE WHEN X.QTLINHASPLAN > 0 THEN 1 ELSE 0 END) AS IDPLAN,"
                                          " MAX(CASE WHEN X.QTLINHASSERV > 0 THEN 1 ELSE 0 END) AS IDSERV,"
                                          " MAX(CASE WHEN X.QTLINHASCONS > 0 THEN 1 ELSE 0 END) AS IDCONS"),
                           Sql(QStringLiteral("X.DTREFEICAO BETWEEN ? AND ?")).bind(scope.start).bind(scope.end), QStringLiteral("X.DTREFEICAO")};
    Sql sql(QStringLiteral("WITH D AS ("));
    sql.add(groupedPerBranch(dialect, scope, days))
        .add(QStringLiteral(")"
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
    sql.bind(number).add(dataGaps(dialectOf(db), scope)).add(QStringLiteral(") G"));
    exec(db, sql, QStringLiteral("registrar os dias sem registro de refeições ou consumo"));
}

} // namespace server
