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
    // Wrong sign-ins from one address (an IPv6 /64) within the window past which each further
    // attempt from it waits a growing delay (0: no limit): passwords tried across many operators.
    // The same operator from the same address waits sooner; other addresses never wait for it.
    unsigned failuresPerAddress = 30;
    qint64 failureWindowSeconds = 15 * 60;
    // Sign-ins that get through per minute: of one operator (only a right password counts, so
    // nobody without it can use up an operator's), and attempts from one address, ten times as many.
    unsigned signInsPerMinute = 30;
    // Live sessions of one operator; a new one ends the oldest.
    unsigned sessionsPerOperator = 10;
};

// Attempts let through per key in each minute.
class RateLimit
{
public:
    explicit RateLimit(unsigned perMinute) : m_perMinute(perMinute) {}
    // Takes one attempt of `key`: 0 when let through, else the seconds until its next minute.
    qint64 take(const QByteArray &key);

private:
    struct Window {
        qint64 start = 0; // seconds on a steady clock
        unsigned used = 0;
    };
    unsigned m_perMinute;
    std::mutex m_mutex;
    QHash<QByteArray, Window> m_windows;
};

// Growing waits after wrong sign-ins, per key: past `free` failures within the window the key's
// next attempt waits 2 s, then 4 s, 8 s… up to `maxWait` after its last failure. Counted in this
// process (each server of a site counts its own); a key without failures never waits.
class FailureDelays
{
public:
    FailureDelays(unsigned free, qint64 maxWaitSeconds, qint64 windowSeconds)
        : m_free(free), m_maxWait(maxWaitSeconds), m_window(windowSeconds) {}
    // Seconds until `key` may try again; 0 when it may now.
    qint64 secondsToWait(const QByteArray &key);
    // Counts a failure; answers the failures of the key now in the window.
    unsigned failed(const QByteArray &key);
    void forget(const QByteArray &key);

private:
    struct Failures {
        unsigned count = 0;
        qint64 last = 0; // seconds on a steady clock
    };
    void forgetStale(qint64 now);
    unsigned m_free;
    qint64 m_maxWait;
    qint64 m_window;
    std::mutex m_mutex;
    QHash<QByteArray, Failures> m_failures;
};

// The brakes on a server's sign-ins: waits after failures per (address, operator) and per
// address, and the rates per operator and per address.
struct SignInThrottle {
    explicit SignInThrottle(const SessionLimits &limits);
    FailureDelays perOperator;
    FailureDelays perAddress;
    unsigned addressLimit;
    RateLimit operatorRate;
    RateLimit addressRate;
};

// The key an address (raw, IPv4-mapped ones already as IPv4) is counted under: an IPv4 address as
// itself, an IPv6 one by its /64, since one host may hold a whole /64.
QByteArray countedAddress(const QByteArray &rawAddress);

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
    std::optional<QJsonValue> admitSignIn(const Args &args, const QByteArray &peer) const;
    Handler auditedSessionCall(const QString &method, CallResult (SessionStore::*call)(const Args &) const) const;

    DbSettings m_settings;
    SessionLimits m_limits;
    std::shared_ptr<SignInThrottle> m_throttle = std::make_shared<SignInThrottle>(m_limits);
};

} // namespace server
