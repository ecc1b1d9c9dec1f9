#include "server/backup.h"

#include "server/database.h"
#include "wire/secretfile.h"

#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>

namespace server {

namespace {

struct Connection {
    sqlite3 *handle = nullptr;
    ~Connection() { sqlite3_close_v2(handle); }
    QString error() const { return QString::fromUtf8(sqlite3_errmsg(handle)); }
};

[[noreturn]] void fail(const QString &what, const QString &detail)
{
    throw DbError{QStringLiteral("Erro na cópia de segurança ao %1: %2").arg(what, detail)};
}

} // namespace

BackupResult backupSqlite(const QString &source, const QString &target, int busyTimeoutMs)
{
    // Opening a missing file would create an empty database and copy that.
    if (!QFileInfo(source).isFile())
        fail(QStringLiteral("abrir o banco %1").arg(source), QStringLiteral("o arquivo não existe"));
    Connection from;
    if (sqlite3_open_v2(QFile::encodeName(source).constData(), &from.handle, SQLITE_OPEN_READWRITE, nullptr) != SQLITE_OK)
        fail(QStringLiteral("abrir o banco %1").arg(source), from.error());
    sqlite3_busy_timeout(from.handle, busyTimeoutMs);

    // The copy holds password hashes and sessions: made owner-only, never through a planted link.
    const QString partial = target + QStringLiteral(".parcial");
    QFile::remove(partial);
    QString why;
    if (!wire::createOwnerOnlyFile(partial, &why))
        fail(QStringLiteral("criar %1").arg(partial), why);
    BackupResult result;
    {
        Connection to;
        if (sqlite3_open_v2(QFile::encodeName(partial).constData(), &to.handle, SQLITE_OPEN_READWRITE | SQLITE_OPEN_NOFOLLOW, nullptr) != SQLITE_OK)
            fail(QStringLiteral("criar %1").arg(partial), to.error());
        sqlite3_backup *backup = sqlite3_backup_init(to.handle, "main", from.handle, "main");
        if (!backup)
            fail(QStringLiteral("iniciar a cópia para %1").arg(partial), to.error());
        // All pages in one step: one read transaction, hence one instant of the database. A step
        // in parts would start over each time another connection writes.
        int status = sqlite3_backup_step(backup, -1);
        for (int waited = 0; (status == SQLITE_BUSY || status == SQLITE_LOCKED) && waited < busyTimeoutMs; waited += 100) {
            sqlite3_sleep(100);
            status = sqlite3_backup_step(backup, -1);
        }
        result.pages = sqlite3_backup_pagecount(backup);
        sqlite3_backup_finish(backup);
        if (status != SQLITE_DONE) {
            QFile::remove(partial);
            fail(QStringLiteral("copiar %1").arg(source), QString::fromUtf8(sqlite3_errstr(status)));
        }
        QString check;
        auto keep = [](void *out, int, char **values, char **) {
            *static_cast<QString *>(out) += QString::fromUtf8(values[0] ? values[0] : "");
            return 0;
        };
        if (sqlite3_exec(to.handle, "PRAGMA quick_check", keep, &check, nullptr) != SQLITE_OK || check != QLatin1String("ok")) {
            QFile::remove(partial);
            fail(QStringLiteral("conferir a cópia %1").arg(partial), check.isEmpty() ? to.error() : check);
        }
    }
    if (std::rename(QFile::encodeName(partial).constData(), QFile::encodeName(target).constData()) != 0) {
        QFile::remove(partial);
        fail(QStringLiteral("gravar %1").arg(target), QString::fromLocal8Bit(std::strerror(errno)));
    }
    result.bytes = QFileInfo(target).size();
    return result;
}

} // namespace server
