#pragma once

#include "server/database.h"
#include "server/operators.h"
#include "server/rpcdispatcher.h"

#include <QByteArray>
#include <QHash>
#include <QList>

#include <memory>
#include <mutex>
#include <optional>

namespace server {

inline constexpr char kSessionObject[] = "Sessao";

// Who makes the call running on this thread. A machine caller (the shared token) has every
// right; an operator has its role's.
struct Caller {
    enum class Kind { Machine, Operator, Anonymous };
    Kind kind = Kind::Machine;
    OperatorRecord account;   // Kind::Operator
    QString sessionId;        // Kind::Operator: the stored key of its session

    // Whose plans and lists these are: only that owner deletes them.
    QString owner() const;
    bool isOperator() const { return kind == Kind::Operator; }

    // The caller of the call on this thread; throws CallError (-32001) when none was set.
    static const Caller &current();
    class Scope
    {
    public:
        explicit Scope(const Caller &caller);
        ~Scope();
        Scope(const Scope &) = delete;
        Scope &operator=(const Scope &) = delete;
    };
};

struct SessionLimits {
    qint64 idleSeconds = 30 * 60;        // unused this long, a session ends
    qint64 absoluteSeconds = 10 * 3600;  // and never lasts longer than this
    // Failed sign-ins from one address within the window, past which that address may not sign
    // in until the oldest failure ages out (0: no limit). Each operator also locks after its own
    // failures; this stops passwords being tried across many operators.
    unsigned failuresPerAddress = 30;
    qint64 failureWindowSeconds = 15 * 60;
};

// The failed sign-ins of each address in the last window, in this process (each server of a
// site counts its own).
class SignInThrottle
{
public:
    explicit SignInThrottle(const SessionLimits &limits) : m_limits(limits) {}
    // Seconds until `address` may try again; 0 when it may now.
    qint64 secondsToWait(const QByteArray &address);
    void failed(const QByteArray &address);

private:
    void forgetOld(QList<qint64> &failures, qint64 now) const;
    SessionLimits m_limits;
    std::mutex m_mutex;
    QHash<QByteArray, QList<qint64>> m_failures; // seconds on a steady clock, oldest first
};

// Sessions live in the database, so several servers on one PostgreSQL share them. The token
// (256 random bits, hex) is only given to the operator; the database keeps its SHA-256.
class SessionStore
{
public:
    SessionStore(const DbSettings &settings, const SessionLimits &limits) : m_settings(settings), m_limits(limits) {}

    // True when the text has the form of a session token; checked before any database work.
    static bool looksLikeToken(const QByteArray &bearer);
    static QString idOf(const QByteArray &token);

    // The operator of a live session (and its last use noted), or nothing; on the calling
    // thread's connection. Throws DbError.
    std::optional<Caller> resume(const QByteArray &token) const;

    // resume() for the HTTP layer: never throws. A database failure is logged under an
    // incident number and answered as a server error; a session that is not live as -32001.
    struct Verdict {
        std::optional<Caller> caller;
        int errorCode = 0;
        QString message;
        QString incident;
    };
    Verdict check(const QByteArray &token) const;

    // The methods of the "Sessao" object: entrar (operator, password) answers
    // {"token", "operador", "nome", "filial", "central", "papel"}; sair ends the caller's session.
    QList<MethodSpec> methods() const;

private:
    CallResult signIn(const Args &args) const;
    CallResult signOut(const Args &args) const;

    DbSettings m_settings;
    SessionLimits m_limits;
    std::shared_ptr<SignInThrottle> m_throttle = std::make_shared<SignInThrottle>(m_limits);
};

} // namespace server
