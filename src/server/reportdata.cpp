#include "server/reportdata.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "server/summaries.h"

namespace server {

void restrictScope(Sql &sql, const PlanScope &scope)
{
    sql.add(QStringLiteral(" AND X.CDFILIAL IN (SELECT F.CDFILIAL FROM FILIAL F WHERE 1 = 1"));
    restrictBranches(sql, scope.central, scope.branches);
    sql.add(QStringLiteral(")"));
    restrictServices(sql, QStringLiteral("X"), scope.services);
    restrictKeys(sql, QStringLiteral("X.CDTIPOCARD"), scope.menuTypes);
}

namespace {

// The sums of a day-by-day table over the scope's period per the summary's keys: one part from
// the monthly sums for the whole months, one from the day rows for the days around them (the
// caller adds the parts up).
Sql periodSums(const MonthlySummary &summary, const PlanScope &scope, const PeriodParts &parts)
{
    QStringList keys;
    for (const QString &key : summary.keys)
        keys << QStringLiteral("X.") + key;
    const QString keyList = keys.join(QStringLiteral(", "));
    Sql sql;
    auto addPart = [&](const QString &table, const QString &dateColumn, const QDate &from, const QDate &to) {
        if (!sql.text().isEmpty())
            sql.add(QStringLiteral(" UNION ALL "));
        sql.add(QStringLiteral("SELECT %1, SUM(X.%2) AS %2 FROM %3 X WHERE X.%4 BETWEEN ? AND ?").arg(keyList, summary.sum, table, dateColumn))
            .bind(from)
            .bind(to);
        restrictScope(sql, scope);
        sql.add(QStringLiteral(" GROUP BY ") + keyList);
    };
    if (parts.firstMonth.isValid())
        addPart(summary.table, QStringLiteral("DTMES"), parts.firstMonth, parts.lastMonth);
    for (const auto &[from, to] : parts.days)
        addPart(summary.source, QStringLiteral("DTREFEICAO"), from, to);
    return sql;
}

const MonthlySummary &summaryOf(const QString &source)
{
    for (const MonthlySummary &summary : monthlySummaries()) {
        if (summary.source == source)
            return summary;
    }
    Q_UNREACHABLE();
}

} // namespace

qint64 storeReportData(QSqlDatabase &db, const QString &number, const PlanScope &scope)
{
    const PeriodParts parts = wire::splitByMonth(scope.start, scope.end);

    Sql meals(QStringLiteral("INSERT INTO REFECONSPLAN (NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, QTREFEPLAN, QTREFESERV)"
                             " SELECT ?, R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, R.CDCARDAPIO, SUM(R.QTREFEPLAN), 0 FROM ("));
    meals.bind(number)
        .add(periodSums(summaryOf(QStringLiteral("REFEPLAN")), scope, parts))
        .add(QStringLiteral(") R GROUP BY R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, R.CDCARDAPIO"
                            " UNION ALL SELECT ?, V.CDFILIAL, V.CDSERVFILI, V.CDTIPOCARD, NULL, 0, SUM(V.QTREFESERV) FROM ("))
        .bind(number)
        .add(periodSums(summaryOf(QStringLiteral("REFESERV")), scope, parts))
        .add(QStringLiteral(") V GROUP BY V.CDFILIAL, V.CDSERVFILI, V.CDTIPOCARD"));
    const qint64 mealRows = exec(db, meals, QStringLiteral("calcular as refeições planejadas e servidas")).numRowsAffected();

    // The meals of each menu, summed above, times its ingredients.
    Sql products(QStringLiteral("INSERT INTO ITCONSPLANREAL (NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, IDESTOCAVEL,"
                                " QTREFEPLAN, QTPLANEJADA, QTCONSUMIDA)"
                                " SELECT ?, X.CDFILIAL, X.CDSERVFILI, X.CDTIPOCARD, X.CDPRODUTO, P.IDESTOCAVEL,"
                                " SUM(X.QTREFEPLAN), SUM(X.QTPLANEJADA), SUM(X.QTCONSUMIDA)"
                                " FROM (SELECT M.CDFILIAL, M.CDSERVFILI, M.CDTIPOCARD, I.CDPRODUTO, M.QTREFEPLAN,"
                                " M.QTREFEPLAN * I.QTPERCAPITA AS QTPLANEJADA, 0 AS QTCONSUMIDA"
                                " FROM REFECONSPLAN M JOIN ITCARDAPIO I ON I.CDCARDAPIO = M.CDCARDAPIO WHERE M.NRCONSPLAN = ?"
                                " UNION ALL"
                                " SELECT C.CDFILIAL, C.CDSERVFILI, C.CDTIPOCARD, C.CDPRODUTO, NULL, 0, C.QTCONSUMIDA FROM ("));
    products.bind(number)
        .bind(number)
        .add(periodSums(summaryOf(QStringLiteral("CONSREAL")), scope, parts))
        .add(QStringLiteral(") C) X"
                            " JOIN PRODUTO P ON P.CDPRODUTO = X.CDPRODUTO"
                            " WHERE X.CDPRODUTO BETWEEN ? AND ?"
                            " GROUP BY X.CDFILIAL, X.CDSERVFILI, X.CDTIPOCARD, X.CDPRODUTO, P.IDESTOCAVEL"))
        .bind(scope.firstProduct)
        .bind(scope.lastProduct);
    return mealRows + exec(db, products, QStringLiteral("calcular o planejado e o realizado por produto")).numRowsAffected();
}

void refreshStatistics(QSqlDatabase &db, const QStringList &tables)
{
    if (dialectOf(db) != Dialect::Postgres)
        return;
    // Runs after the commit: the rows are stored and the caller is owed their number, so a
    // cancel or a failure here only costs the planner its fresh figures.
    CallContext::Unstoppable afterTheCommit;
    try {
        execScript(db, {(QStringLiteral("ANALYZE (SKIP_LOCKED) ") + tables.join(QStringLiteral(", "))).trimmed()}, QStringLiteral("atualizar as estatísticas"));
    } catch (const DbError &error) {
        logLine(LogLevel::Warning, error.message);
    }
}

void refreshStatisticsAfter(QSqlDatabase &db, const QStringList &tables, qint64 rows, qint64 worthIt)
{
    if (rows >= worthIt)
        refreshStatistics(db, tables);
}

} // namespace server
