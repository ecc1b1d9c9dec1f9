#pragma once

#include "server/database.h"
#include "server/selection.h"

#include <QDate>

namespace server {

// What one report covers: the central's branches, services and menu types chosen, the days and
// the product range.
struct PlanScope {
    QString central;
    wire::KeySelection branches;
    ServiceKeys services{true, {}, {}};
    wire::KeySelection menuTypes{true, {}};
    QDate start;
    QDate end;
    QString firstProduct = QStringLiteral("0");
    QString lastProduct = QStringLiteral("zzzzzzzzzz");
};

// Restricts the rows of X (CDFILIAL, CDSERVFILI, CDTIPOCARD) to the scope's branches, services
// and menu types.
void restrictScope(Sql &sql, const PlanScope &scope);

// A period as the monthly sums can serve it: the whole months in it (first days of the first
// and the last; invalid when there is none) and the day ranges around them.
struct PeriodParts {
    QDate firstMonth;
    QDate lastMonth;
    QList<QPair<QDate, QDate>> days;
};
PeriodParts splitByMonth(const QDate &start, const QDate &end);

// The tables that hold a plan's rows besides CONSPLAN.
inline const QStringList kReportDataTables = {QStringLiteral("ITCONSPLANREAL"), QStringLiteral("REFECONSPLAN"),
                                              QStringLiteral("FALTACONSPLAN")};

// Stores the report's data under `number`: the meals planned per branch, service, menu type and
// menu, and the meals served per branch, service and menu type (REFECONSPLAN, rows without a
// menu); then per branch, service, menu type and product the planned quantity (each menu's
// meals times its ingredients) and the quantity used (ITCONSPLANREAL). Runs inside the
// caller's write transaction.
void storeReportData(QSqlDatabase &db, const QString &number, const PlanScope &scope);

// On PostgreSQL, fresh statistics of tables just filled, so the planner does not take them for
// empty; after the writing transaction. A table another session is analysing is skipped: its
// statistics are being refreshed anyway. No tables: the whole database. Never fails nor stops
// the call it serves.
void refreshStatistics(QSqlDatabase &db, const QStringList &tables);

} // namespace server
