#include "wire/statementinterrupt.h"

#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace wire {

StatementInterrupt::~StatementInterrupt()
{
    detach();
}

bool StatementInterrupt::attach(QSqlDatabase &db)
{
    detach();
    const QVariant handle = db.driver() ? db.driver()->handle() : QVariant();
    if (!handle.isValid())
        return false;
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_sqlite = *static_cast<sqlite3 *const *>(handle.data());
    else if (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0) // as Qt's driver names it
        m_pgCancel = PQgetCancel(*static_cast<PGconn *const *>(handle.data()));
    return attached();
}

void StatementInterrupt::detach()
{
    m_sqlite = nullptr;
    if (m_pgCancel)
        PQfreeCancel(m_pgCancel);
    m_pgCancel = nullptr;
}

QString StatementInterrupt::interrupt()
{
    if (m_sqlite)
        sqlite3_interrupt(static_cast<sqlite3 *>(m_sqlite));
    if (m_pgCancel) {
        char error[256] = {};
        if (!PQcancel(m_pgCancel, error, sizeof error))
            return QString::fromLocal8Bit(error).trimmed();
    }
    return QString();
}

} // namespace wire
