#pragma once

#include "server/reportdata.h"

namespace server {

// Days of a branch where the records of a report's scope do not match, so a difference of the
// report may come from data never entered rather than from waste. Per branch and day, over the
// scope's services and menu types:
//   'S' meals planned, none served recorded
//   'C' meals planned, no consumption recorded
//   'P' meals served or consumption recorded, nothing planned
// The kinds are the values of FALTACONSPLAN.IDFALTA.
inline constexpr char kGapNoServed = 'S';
inline constexpr char kGapNoConsumption = 'C';
inline constexpr char kGapNotPlanned = 'P';

// The gaps of the scope: rows IDFALTA, CDFILIAL, DTREFEICAO, by kind, branch and day.
Sql dataGaps(Dialect dialect, const PlanScope &scope);

// Stores the gaps of the scope in FALTACONSPLAN under the plan's number, inside the caller's
// write transaction; they go with the plan's other rows.
void storeDataGaps(QSqlDatabase &db, const QString &number, const PlanScope &scope);

} // namespace server
