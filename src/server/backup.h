#pragma once

#include <QString>

namespace server {

struct BackupResult {
    qint64 bytes = 0;
    int pages = 0;
};

// Copies a SQLite database that servers may be using into `target` with SQLite's online backup:
// the copy is read in one transaction, so it is the database as it stood at one instant, while
// writers go on (WAL). It is written beside the target, checked, and only then renamed onto it,
// so a failed backup never leaves a partial file under the target's name. Throws DbError.
BackupResult backupSqlite(const QString &source, const QString &target, int busyTimeoutMs);

} // namespace server
