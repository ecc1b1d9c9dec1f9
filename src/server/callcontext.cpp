#include "server/callcontext.h"

#include "server/serverlog.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QtEndian>

namespace server {

namespace {
thread_local CallContext *runningHere = nullptr;
}

QString addressText(const QByteArray &address)
{
    if (address.size() == 4)
        return QHostAddress(qFromBigEndian<quint32>(address.constData())).toString();
    if (address.size() == 16)
        return QHostAddress(reinterpret_cast<const quint8 *>(address.constData())).toString();
    if (address.size() == 8) // an IPv6 /64, as countedAddress counts it
        return QHostAddress(reinterpret_cast<const quint8 *>((address + QByteArray(8, '\0')).constData())).toString() + QStringLiteral("/64");
    return QString::fromLatin1(address.toHex());
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
    const QString refused = m_statement.interrupt();
    if (!refused.isEmpty())
        logLine(LogLevel::Warning, QStringLiteral("pedido de cancelamento ao PostgreSQL falhou: %1").arg(refused));
}

void CallContext::attach(QSqlDatabase &db)
{
    std::lock_guard lock(m_mutex);
    if (m_statement.attached())
        return;
    m_statement.attach(db);
    // A stop that came before the connection did still reaches the first statement.
    if (m_reason.load() != StopReason::None)
        interruptLocked();
}

void CallContext::detach()
{
    std::lock_guard lock(m_mutex);
    m_statement.detach();
}

CallContext *CallContext::current()
{
    return runningHere;
}

CallContext::Unstoppable::Unstoppable() : m_hidden(runningHere)
{
    if (m_hidden)
        m_hidden->detach();
    runningHere = nullptr;
}

CallContext::Unstoppable::~Unstoppable()
{
    runningHere = m_hidden;
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
