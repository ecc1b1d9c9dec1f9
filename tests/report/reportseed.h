#pragma once

#include "host/data/params.h"

#include <QSqlDatabase>

// A small general database for the report layouts of ZUB011, in the application server's own
// schema: central 0001 with schools 0101 and 0102, three services, a stockable and a
// non-stockable product family (and one of two units, consumed in April), one month of planned
// and served meals and consumption, the report's data prepared by the server's own code and the
// three stored lists.
//   lists: services 0000000011 (all three), 0000000021 (0102/00010 only); menu types 0000000012
//          (T1), 0000000022 (T1 and T2: every active one; T3 is inactive);
//          branches 0000000013 (both schools), 0000000014 (0101 only)
//   plans: 0000000001 March, 0000000002 March of school 0101, 0000000003 the 2nd of April (meals
//          planned, none served, nothing used), plus a stray plan 0000000009 of another run
//   and on Saturday the 5th of April meals served at school 0101 with nothing planned
namespace reportseed {

void seed(QSqlDatabase &db);

// Prepares the report's data of central 0001 under `number` (no branches: all of them).
void prepare(QSqlDatabase &db, const QString &number, const QStringList &branches, const QDate &start, const QDate &end);

// The 24 parameters as the screen sets them for March 2025, cost type 1, both product types.
host::TParams params(const QString &difference, int level);

} // namespace reportseed
