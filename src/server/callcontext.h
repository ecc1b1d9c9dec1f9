#pragma once

#include <QByteArray>
#include <QDeadlineTimer>
#include <QHash>
#include <QList>
#include <QString>

#include "wire/statementinterrupt.h"

#include <atomic>
#include <memory>
#include <mutex>

class QSqlDatabase;

namespace server {

// Why a call was stopped before it finished.
enum class StopReason { None, Cancelled, ClientGone, Deadline };

// An address as the log and the audit show it: raw bytes of IPv4 or IPv6, or an IPv6 /64.
QString addressText(const QByteArray &address);

// One call under way: whoever must stop it (the caller's rpc.cancel, the connection watchdog
// when the client leaves or the deadline passes) asks here, and the statement running in the
// database is interrupted (sqlite3_interrupt, or a PostgreSQL cancel request).

class CallContext
{
public:
    explicit CallContext(qint64 deadlineMs) : m_deadline(deadlineMs) {}
    ~CallContext();
    CallContext(const CallContext &) = delete;
    CallContext &operator=(const CallContext &) = delete;

    // Marks the call stopped (the first reason wins) and interrupts its statement.
    void stop(StopReason reason);
    StopReason stopReason() const { return m_reason.load(); }
    bool deadlinePassed() const { return m_deadline.hasExpired(); }

    // The caller's network address (raw bytes; empty when the call did not come over the network).
    const QByteArray &peer() const { return m_peer; }
    void setPeer(const QByteArray &address) { m_peer = address; }

    // The database connection the call runs on, so a stop can reach it. Detach before the
    // connection closes.
    void attach(QSqlDatabase &db);
    void detach();

    // The call running on this thread, if any, set for the handler's duration.
    static CallContext *current();
    // What runs after a call's commit: its answer already stands, so a stop must neither
    // interrupt nor refuse what follows. Hides the call from this thread while it lives.
    class Unstoppable
    {
    public:
        Unstoppable();
        ~Unstoppable();
        Unstoppable(const Unstoppable &) = delete;
        Unstoppable &operator=(const Unstoppable &) = delete;

    private:
        CallContext *m_hidden;
    };
    class Scope
    {
    public:
        explicit Scope(CallContext *context);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };

private:
    void interruptLocked();

    QDeadlineTimer m_deadline;
    QByteArray m_peer;
    std::atomic<StopReason> m_reason{StopReason::None};
    std::mutex m_mutex; // guards m_statement
    wire::StatementInterrupt m_statement;
};

// The calls under way, by who made them and the id they gave, so rpc.cancel finds them. A call
// is known by its server object, the caller's token and the JSON-RPC id: a caller can only reach
// calls made with its own token.
class CallRegistry
{
public:
    static QString keyOf(const QString &object, const QByteArray &token, const QString &id);
    void add(const QString &key, const std::shared_ptr<CallContext> &call);
    void remove(const QString &key, const std::shared_ptr<CallContext> &call);
    // Stops every call under the key; answers how many there were.
    int cancel(const QString &key);

private:
    std::mutex m_mutex;
    QHash<QString, QList<std::shared_ptr<CallContext>>> m_calls;
};

} // namespace server
