#pragma once

#include <QDateTime>
#include <QSqlDatabase>

namespace server {

struct SweepResult {
    int plans = 0;     // consolidated plans removed
    int listRows = 0;  // rows of stored lists removed
    int auditRows = 0; // audit rows past their retention removed
};

// Removes the consolidated plans and stored lists created before `cutoff`: what a client
// that died between preparing and cleaning up left behind; and, when `auditCutoff` is valid, the
// audit rows of calls started before it (the retention the administrator set).
SweepResult sweepTemporaryData(QSqlDatabase &db, const QDateTime &cutoff, const QDateTime &auditCutoff = {});

} // namespace server
