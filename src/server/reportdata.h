#pragma once

#include "server/database.h"
#include "server/selection.h"
#include "wire/periodparts.h"

#include <QDate>

namespace server {

// What one report covers: the central's branches, services and menu types chosen, the days and
// the product range.
struct PlanScope {
    QString central;
    wire::KeySelection branches;
    ServiceKeys services{true, {}, {}};
    wire::KeySelection menuTypes = wire::KeySelection::everything();
    QDate start;
    QDate end;
    QString firstProduct = QStringLiteral("0");
    QString lastProduct = QStringLiteral("zzzzzzzzzz");
};

// Restricts the rows of X (CDFILIAL, CDSERVFILI, CDTIPOCARD) to the scope's branches, services
// and menu types.
void restrictScope(Sql &sql, const PlanScope &scope);

// Rows of a table whose key starts with the branch, grouped per branch and more keys.
struct GroupedRows {
    QString table;    // with the alias X, e.g. "REGISTRODIA X"
    QString columns;  // the other keys and the aggregates, e.g. "X.DTREFEICAO, MAX(...) AS IDPLAN"
    Sql condition;    // on X besides the scope, e.g. the period
    QString keys;     // the grouping keys after the branch, e.g. "X.DTREFEICAO"
};

// SELECT CDFILIAL, <columns> of the scope's rows, grouped by branch and `keys`.
Sql groupedPerBranch(Dialect dialect, const PlanScope &scope, const GroupedRows &rows);

using wire::PeriodParts;

// The tables that hold a plan's rows besides CONSPLAN.
inline const QStringList kReportDataTables = {QStringLiteral("ITCONSPLANREAL"), QStringLiteral("REFECONSPLAN"),
                                              QStringLiteral("FALTACONSPLAN")};

// Stores the report's data under `number`: the meals planned per branch, service, menu type and
// menu, and the meals served per branch, service and menu type (REFECONSPLAN, rows without a
// menu); then per branch, service, menu type and product the planned quantity (each menu's
// meals times its ingredients) and the quantity used (ITCONSPLANREAL). Runs inside the
// caller's write transaction. Answers the number of rows stored.
qint64 storeReportData(QSqlDatabase &db, const QString &number, const PlanScope &scope);

// On PostgreSQL, fresh statistics of tables just filled, so the planner does not take them for
// empty; after the writing transaction. A table another session is analysing is skipped: its
// statistics are being refreshed anyway. No tables: the whole database. Never fails nor stops
// the call it serves.
void refreshStatistics(QSqlDatabase &db, const QStringList &tables);

// The same after a call stored `rows` rows of a plan or a list under a new number, only when
// they are at least `worthIt`: the planner, not knowing the number, takes its rows for one or
// two, which costs little on a school's plan and seconds on a central's year (a nested loop over
// tens of thousands of rows). Small plans and lists, the most frequent, are left to autovacuum.
constexpr qint64 kPlanRowsWorthStatistics = 5000;
// A central's lists are a few hundred rows, analysed in milliseconds, and every query of its
// report joins them.
constexpr qint64 kListRowsWorthStatistics = 200;
void refreshStatisticsAfter(QSqlDatabase &db, const QStringList &tables, qint64 rows, qint64 worthIt);

} // namespace server
