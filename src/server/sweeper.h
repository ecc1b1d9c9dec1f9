#pragma once

#include <QDateTime>
#include <QSqlDatabase>

namespace server {

struct SweepResult {
    int plans = 0;     // consolidated plans removed
    int listRows = 0;  // rows of stored lists removed
};

// Removes the consolidated plans and stored lists created before `cutoff`: what a client
// that died between preparing and cleaning up left behind.
SweepResult sweepTemporaryData(QSqlDatabase &db, const QDateTime &cutoff);

} // namespace server
