#pragma once

#include "server/database.h"
#include "wire/keylist.h"

#include <QDate>

namespace server {

// What a run of the report covered, as the lists getListas stored for it (owned by `owner`).
struct ReportRunScope {
    QString central;
    wire::KeySelection visibleBranches; // of the central, as the caller may see them
    QString owner;
    QString branchList;
    QString serviceList;
    QString menuTypeList;
    QDate start;
    QDate end;
    bool stockables = true;
    bool nonStockables = true;
};

// Why a report of the scope has no line: the filters are applied one at a time, widest first
// (period, branches, menu types, services, product kind), and the first that leaves nothing
// planned and nothing consumed is named. Each step only asks whether one row exists, on the
// monthly sums for the whole months and the day rows around them. "" when every filter still
// leaves something (the emptiness then comes from elsewhere).
QString emptyReportReason(QSqlDatabase &db, const ReportRunScope &scope);

} // namespace server
