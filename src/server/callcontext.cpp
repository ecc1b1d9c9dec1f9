#include "server/callcontext.h"

#include "server/serverlog.h"

#include <QCryptographicHash>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QVariant>

#include <libpq-fe.h>
#include <sqlite3.h>

namespace server {

namespace {
thread_local CallContext *runningHere = nullptr;
}

CallContext::~CallContext()
{
    detach();
}

void CallContext::stop(StopReason reason)
{
    StopReason expected = StopReason::None;
    if (!m_reason.compare_exchange_strong(expected, reason))
        return;
    std::lock_guard lock(m_mutex);
    interruptLocked();
}

void CallContext::interruptLocked()
{
    if (m_sqlite)
        sqlite3_interrupt(static_cast<sqlite3 *>(m_sqlite));
    if (m_pgCancel) {
        char error[256] = {};
        if (!PQcancel(m_pgCancel, error, sizeof error))
            logLine(LogLevel::Warning, QStringLiteral("pedido de cancelamento ao PostgreSQL falhou: %1").arg(QString::fromLocal8Bit(error).trimmed()));
    }
}

void CallContext::attach(QSqlDatabase &db)
{
    std::lock_guard lock(m_mutex);
    if (m_sqlite || m_pgCancel)
        return;
    const QVariant handle = db.driver()->handle();
    if (!handle.isValid())
        return;
    if (qstrcmp(handle.typeName(), "sqlite3*") == 0)
        m_sqlite = *static_cast<sqlite3 *const *>(handle.data());
    else if (qstrcmp(handle.typeName(), "PGconn*") == 0 || qstrcmp(handle.typeName(), "pg_conn*") == 0) // as Qt's driver names it
        m_pgCancel = PQgetCancel(*static_cast<PGconn *const *>(handle.data()));
    // A stop that came before the connection did still reaches the first statement.
    if (m_reason.load() != StopReason::None)
        interruptLocked();
}

void CallContext::detach()
{
    std::lock_guard lock(m_mutex);
    m_sqlite = nullptr;
    if (m_pgCancel)
        PQfreeCancel(m_pgCancel);
    m_pgCancel = nullptr;
}

CallContext *CallContext::current()
{
    return runningHere;
}

CallContext::Scope::Scope(CallContext *context)
{
    runningHere = context;
}

CallContext::Scope::~Scope()
{
    if (runningHere)
        runningHere->detach();
    runningHere = nullptr;
}

QString CallRegistry::keyOf(const QString &object, const QByteArray &token, const QString &id)
{
    // The token itself is kept out of memory dumps of the table.
    return object + QLatin1Char('\n') + QString::fromLatin1(QCryptographicHash::hash(token, QCryptographicHash::Sha256).toHex())
        + QLatin1Char('\n') + id;
}

void CallRegistry::add(const QString &key, const std::shared_ptr<CallContext> &call)
{
    std::lock_guard lock(m_mutex);
    m_calls[key].append(call);
}

void CallRegistry::remove(const QString &key, const std::shared_ptr<CallContext> &call)
{
    std::lock_guard lock(m_mutex);
    auto it = m_calls.find(key);
    if (it == m_calls.end())
        return;
    it->removeOne(call);
    if (it->isEmpty())
        m_calls.erase(it);
}

int CallRegistry::cancel(const QString &key)
{
    QList<std::shared_ptr<CallContext>> calls;
    {
        std::lock_guard lock(m_mutex);
        calls = m_calls.value(key);
    }
    for (const auto &call : calls)
        call->stop(StopReason::Cancelled);
    return int(calls.size());
}

} // namespace server
