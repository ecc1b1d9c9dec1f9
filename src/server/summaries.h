#pragma once

#include "server/database.h"

#include <QStringList>

namespace server {

// A table of monthly sums of a day-by-day table, kept right by triggers in the database itself:
// other programs write the planned meals, served meals and consumption, so the server cannot
// be the one that keeps them up to date. A period of whole months then reads one row per month
// instead of one per day. Each row also counts the day rows it sums (QTLINHAS), so a sum whose
// last day row is deleted disappears instead of staying behind as a zero.
struct MonthlySummary {
    QString table;     // e.g. CONSREALMES
    QString source;    // e.g. CONSREAL, whose rows carry DTREFEICAO
    QStringList keys;  // the source's key columns other than the day
    QString sum;       // the summed column, named alike in both tables; empty when rows are only counted
    bool daily = false; // per day (DTREFEICAO) instead of per month (DTMES)
    QString count = QStringLiteral("QTLINHAS"); // counts this source's rows
    QStringList sharedCounts = {}; // every source's count when several sources share the table

    // A row is gone once no source has rows for it.
    QStringList allCounts() const { return sharedCounts.isEmpty() ? QStringList{count} : sharedCounts; }
};

// Planned meals per menu, served meals, and consumption per product.
const QList<MonthlySummary> &monthlySummaries();

// The days with planned meals, served meals and consumption per branch, service and menu type,
// in one table (REGISTRODIA) with a count for each: the completeness searches read a branch's
// days from it in one index range, instead of the days of three tables (and some 25 consumption
// rows per service and day).
const QList<MonthlySummary> &dayRecords();

// The first day of the month of the source row `alias` (e.g. NEW), in the dialect's spelling.
QString monthOf(const QString &alias, Dialect dialect);

// Statements that fill the monthly sum tables from the rows already there and create their
// triggers; the same for the day records (a later schema version).
QStringList summaryCreation(Dialect dialect);
QStringList dayRecordsCreation(Dialect dialect);

// What dropSchema removes besides the tables (PostgreSQL trigger functions).
QStringList summaryRemoval(Dialect dialect);

// A bulk load drops the triggers first and rebuilds the sums once at the end, which is much
// faster than one trigger call per row. Both inside the caller's transaction.
void suspendSummaries(QSqlDatabase &db);
void rebuildSummaries(QSqlDatabase &db);

} // namespace server
