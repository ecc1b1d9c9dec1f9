#include "server/reportdata.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "server/summaries.h"

namespace server {

namespace {

void restrictToScopeBranches(Sql &sql, const PlanScope &scope)
{
    sql.add(QStringLiteral("SELECT F.CDFILIAL FROM FILIAL F WHERE 1 = 1"));
    restrictBranches(sql, scope.central, scope.branches);
}

void restrictToScopeServicesAndMenuTypes(Sql &sql, const PlanScope &scope)
{
    restrictServices(sql, QStringLiteral("X"), scope.services);
    restrictKeys(sql, QStringLiteral("X.CDTIPOCARD"), scope.menuTypes);
}

} // namespace

void restrictScope(Sql &sql, const PlanScope &scope)
{
    sql.add(QStringLiteral(" AND X.CDFILIAL IN ("));
    restrictToScopeBranches(sql, scope);
    sql.add(QStringLiteral(")"));
    restrictToScopeServicesAndMenuTypes(sql, scope);
}

namespace {

// The scope's rows grouped by branch and `keys` in one grouping.
Sql groupedTogether(const PlanScope &scope, const GroupedRows &rows)
{
    Sql sql(QStringLiteral("SELECT X.CDFILIAL, %1 FROM %2 WHERE ").arg(rows.columns, rows.table));
    sql.add(rows.condition);
    restrictScope(sql, scope);
    sql.add(QStringLiteral(" GROUP BY X.CDFILIAL, %1").arg(rows.keys));
    return sql;
}

} // namespace

Sql groupedPerBranch(Dialect dialect, const PlanScope &scope, const GroupedRows &rows)
{
    if (dialect == Dialect::Postgres) {
        Sql sql;
        // Each branch grouped apart: its rows come in key order from the index that starts
        // with the branch, where hashing a central's year of rows at once took twice as long.
        sql.add(QStringLiteral("SELECT B.CDFILIAL, G.* FROM ("));
        restrictToScopeBranches(sql, scope);
        sql.add(QStringLiteral(") B CROSS JOIN LATERAL (SELECT %1 FROM %2 WHERE X.CDFILIAL = B.CDFILIAL AND ").arg(rows.columns, rows.table))
            .add(rows.condition);
        restrictToScopeServicesAndMenuTypes(sql, scope);
        sql.add(QStringLiteral(" GROUP BY %1) G").arg(rows.keys));
        return sql;
    }
    // SQLite already reads the rows of the scope's branches in key order.
    return groupedTogether(scope, rows);
}

namespace {

// The sums of a day-by-day table over the scope's period per the summary's keys: one part from
// the monthly sums for the whole months, one from the day rows for the days around them (the
// caller adds the parts up).
Sql periodSums(Dialect dialect, const MonthlySummary &summary, const PlanScope &scope, const PeriodParts &parts)
{
    // The keys start with the branch, which the grouping adds itself.
    QStringList otherKeys;
    for (const QString &key : summary.keys.mid(1))
        otherKeys << QStringLiteral("X.") + key;
    const QString keys = otherKeys.join(QStringLiteral(", "));
    const QString summed = QStringLiteral("%1, SUM(X.%2) AS %2").arg(keys, summary.sum);
    Sql sql;
    auto unionAll = [&sql] {
        if (!sql.text().isEmpty())
            sql.add(QStringLiteral(" UNION ALL "));
    };
    if (parts.firstMonth.isValid()) {
        unionAll();
        sql.add(groupedPerBranch(dialect, scope,
                                 {summary.table + QStringLiteral(" X"), summed,
                                  Sql(QStringLiteral("X.DTMES BETWEEN ? AND ?")).bind(parts.firstMonth).bind(parts.lastMonth), keys}));
    }
    for (const auto &[from, to] : parts.days) {
        // A day table's index by branch leads to the day rows one by one: read by date instead.
        unionAll();
        sql.add(groupedTogether(scope, {summary.source + QStringLiteral(" X"), summed,
                                        Sql(QStringLiteral("X.DTREFEICAO BETWEEN ? AND ?")).bind(from).bind(to), keys}));
    }
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
    const Dialect dialect = dialectOf(db);
    const PeriodParts parts = wire::splitByMonth(scope.start, scope.end);

    Sql meals(QStringLiteral("INSERT INTO REFECONSPLAN (NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, QTREFEPLAN, QTREFESERV)"
                             " SELECT ?, R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, R.CDCARDAPIO, SUM(R.QTREFEPLAN), 0 FROM ("));
    meals.bind(number)
        .add(periodSums(dialect, summaryOf(QStringLiteral("REFEPLAN")), scope, parts))
        .add(QStringLiteral(") R GROUP BY R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, R.CDCARDAPIO"
                            " UNION ALL SELECT ?, V.CDFILIAL, V.CDSERVFILI, V.CDTIPOCARD, NULL, 0, SUM(V.QTREFESERV) FROM ("))
        .bind(number)
        .add(periodSums(dialect, summaryOf(QStringLiteral("REFESERV")), scope, parts))
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
        .add(periodSums(dialect, summaryOf(QStringLiteral("CONSREAL")), scope, parts))
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
