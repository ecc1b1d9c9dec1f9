#include "server/sessions.h"

#include "server/audit.h"
#include "server/callcontext.h"
#include "server/rpcdispatcher.h"
#include "server/serverlog.h"
#include "wire/datapacket.h"

#include <QCryptographicHash>
#include <QDateTime>
#include <QElapsedTimer>
#include <QJsonObject>
#include <QSqlQuery>

#include <sodium.h>

#include <algorithm>
#include <chrono>
#include <limits>

namespace server {

namespace {

// Seconds on a clock that never goes back.
qint64 steadySeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

thread_local const Caller *callerHere = nullptr;

constexpr int kTokenBytes = 32;
// A session's last use is written at most this often: every call writing it would queue all
// calls behind SQLite's one writer.
constexpr qint64 kLastUseResolutionSeconds = 60;

} // namespace

QString Caller::owner() const
{
    // "M" cannot collide with a session id, which is 64 hex digits.
    return kind == Kind::Operator ? sessionId : QStringLiteral("M");
}

const Caller &Caller::current()
{
    // A call that reached a handler without its caller was let through by a mistake upstream;
    // taking it for the machine would widen its rights to everything.
    if (!callerHere)
        throw CallError{wire::Unauthorized, QStringLiteral("Chamada sem autor identificado; recusada.")};
    return *callerHere;
}

Caller::Scope::Scope(const Caller &caller)
{
    callerHere = &caller;
}

Caller::Scope::~Scope()
{
    callerHere = nullptr;
}

// Book-keeping a call must not wait for: while another writer holds the lock (a long
// preparation on SQLite) it is skipped, and the next call of the session writes it.
static void writeIfFree(QSqlDatabase &db, const Sql &sql, const QString &what)
{
    try {
        NoLockWait atOnce;
        WriteTransaction transaction(db);
        exec(db, sql, what);
        transaction.commit();
    } catch (const DbError &error) {
        if (error.kind != DbFailure::Busy)
            throw;
        logLine(LogLevel::Debug, QStringLiteral("%1 adiado: banco ocupado").arg(what));
    }
}

bool SessionStore::looksLikeToken(const QByteArray &bearer)
{
    if (bearer.size() != 2 * kTokenBytes)
        return false;
    for (const char c : bearer) {
        if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f')))
            return false;
    }
    return true;
}

QString SessionStore::idOf(const QByteArray &token)
{
    return QString::fromLatin1(QCryptographicHash::hash(token, QCryptographicHash::Sha256).toHex());
}

std::optional<Caller> SessionStore::resume(const QByteArray &token) const
{
    if (!looksLikeToken(token))
        return std::nullopt;
    const QString id = idOf(token);
    QSqlDatabase db = threadConnection(m_settings);
    const QString what = QStringLiteral("ler a sessão");
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT CDOPERADOR, DTCRIACAO, DTULTIMOUSO FROM SESSAO WHERE CDSESSAO = ?")).bind(id),
                           what);
    if (!nextRow(db, query, what))
        return std::nullopt;
    const QString code = query.value(0).toString();
    const QDateTime created = query.value(1).toDateTime().toUTC();
    const QDateTime lastUse = query.value(2).toDateTime().toUTC();
    query.finish();
    const QDateTime now = QDateTime::currentDateTimeUtc();
    const std::optional<OperatorRecord> account = findOperator(db, code);
    if (!account || !account->active || created.secsTo(now) > m_limits.absoluteSeconds || lastUse.secsTo(now) > m_limits.idleSeconds) {
        writeIfFree(db, Sql(QStringLiteral("DELETE FROM SESSAO WHERE CDSESSAO = ?")).bind(id), QStringLiteral("encerrar a sessão vencida"));
        return std::nullopt;
    }
    if (lastUse.secsTo(now) >= kLastUseResolutionSeconds)
        writeIfFree(db, Sql(QStringLiteral("UPDATE SESSAO SET DTULTIMOUSO = ? WHERE CDSESSAO = ?")).bind(now).bind(id),
                    QStringLiteral("registrar o uso da sessão"));
    return Caller{Caller::Kind::Operator, *account, id};
}

SessionStore::Verdict SessionStore::check(const QByteArray &token) const
{
    try {
        if (auto caller = resume(token))
            return Verdict{std::move(caller), 0, {}, {}};
        return Verdict{std::nullopt, wire::Unauthorized,
                       QStringLiteral("Sessão encerrada ou expirada; entre novamente com operador e senha."), {}};
    } catch (const DbError &error) {
        dropThreadConnection();
        // A cancel that lands while the session is checked is a cancel, as anywhere in the call.
        const CallContext *call = CallContext::current();
        const StopReason stop = call ? call->stopReason() : StopReason::None;
        if (stop == StopReason::Cancelled || stop == StopReason::ClientGone)
            return Verdict{std::nullopt, wire::CallCancelled, QStringLiteral("Chamada cancelada a pedido do cliente."), {}};
        if (error.kind == DbFailure::Connection) {
            logLine(LogLevel::Warning, QStringLiteral("verificação da sessão: sem banco de dados: %1").arg(error.message));
            return Verdict{std::nullopt, wire::ServerBusy, unavailableMessage(), {}};
        }
        const QString number = newIncident();
        logLine(LogLevel::Error, QStringLiteral("ocorrência %1: verificação da sessão: %2").arg(number, error.message));
        return Verdict{std::nullopt, wire::ServerError,
                       QStringLiteral("Não foi possível verificar a sessão (ocorrência %1). Tente novamente; se persistir, informe o número ao suporte.")
                           .arg(number),
                       number};
    }
}

// Sign-ins (right or wrong, waits included) and sign-outs leave an audit row with the address:
// the operator tried, or signed in, and how it ended; never the password.
Handler SessionStore::auditedSessionCall(const QString &method, CallResult (SessionStore::*call)(const Args &) const) const
{
    return [this, method, call](const Args &args) {
        AuditEntry entry;
        entry.start = QDateTime::currentDateTimeUtc();
        entry.method = method;
        entry.filters = QStringLiteral("-"); // a sign-in's arguments hold the password
        entry.operatorCode = method == QLatin1String("sair") ? auditedName(Caller::current()) : args.text(0).trimmed().toUpper();
        QElapsedTimer timer;
        timer.start();
        CallResult result = (this->*call)(args);
        entry.durationMs = timer.elapsed();
        const QJsonObject envelope = result.answer.toObject();
        entry.outcome = envelope.value(QStringLiteral("ok")).toBool() ? QStringLiteral("ok") : envelope.value(QStringLiteral("message")).toString();
        recordAudit(m_settings, entry);
        return result;
    };
}

QList<MethodSpec> SessionStore::methods() const
{
    return {
        {QStringLiteral("entrar"), {{QStringLiteral("operador")}, {QStringLiteral("senha")}}, auditedSessionCall(QStringLiteral("entrar"), &SessionStore::signIn),
         Lane::SignIn, [this](const Args &args, const QByteArray &peer) { return admitSignIn(args, peer); }},
        {QStringLiteral("sair"), {}, auditedSessionCall(QStringLiteral("sair"), &SessionStore::signOut)},
    };
}

namespace {

// Keys of failures (and of rates) kept at most: beyond it the stale ones go at once, and if all
// failures are live the oldest half, so made-up codes from many addresses cannot grow the
// tables without end.
constexpr qsizetype kMaxFailureKeys = 100000;
// Failures of one operator from one address that cost no wait: a person who mistypes.
constexpr unsigned kFreeFailuresPerOperator = 3;
constexpr qint64 kMaxWaitPerOperatorSeconds = 10 * 60;
constexpr qint64 kMaxWaitPerAddressSeconds = 60;

} // namespace

SignInThrottle::SignInThrottle(const SessionLimits &limits)
    : perOperator(kFreeFailuresPerOperator, kMaxWaitPerOperatorSeconds, limits.failureWindowSeconds),
      perAddress(limits.failuresPerAddress == 0 ? std::numeric_limits<unsigned>::max() : limits.failuresPerAddress,
                 kMaxWaitPerAddressSeconds, limits.failureWindowSeconds),
      addressLimit(limits.failuresPerAddress),
      operatorRate(limits.signInsPerMinute),
      addressRate(10 * limits.signInsPerMinute)
{
}

qint64 RateLimit::take(const QByteArray &key)
{
    std::lock_guard lock(m_mutex);
    const qint64 now = steadySeconds();
    if (m_windows.size() >= kMaxFailureKeys)
        m_windows.removeIf([&](const auto &entry) { return entry.value().start <= now - 60; });
    Window &window = m_windows[key];
    if (window.start <= now - 60)
        window = Window{now, 0};
    if (window.used >= m_perMinute)
        return std::max<qint64>(1, window.start + 60 - now);
    ++window.used;
    return 0;
}

QByteArray countedAddress(const QByteArray &raw)
{
    return raw.size() == 16 ? raw.left(8) : raw;
}

qint64 FailureDelays::secondsToWait(const QByteArray &key)
{
    std::lock_guard lock(m_mutex);
    const auto found = m_failures.constFind(key);
    if (found == m_failures.constEnd())
        return 0;
    const qint64 now = steadySeconds();
    if (found->last <= now - m_window || found->count <= m_free)
        return 0;
    const unsigned doublings = std::min(found->count - m_free, 30u);
    const qint64 wait = std::min<qint64>(qint64(1) << doublings, m_maxWait);
    return std::max<qint64>(0, found->last + wait - now);
}

unsigned FailureDelays::failed(const QByteArray &key)
{
    std::lock_guard lock(m_mutex);
    const qint64 now = steadySeconds();
    if (m_failures.size() >= kMaxFailureKeys)
        forgetStale(now);
    Failures &failures = m_failures[key];
    if (failures.last <= now - m_window)
        failures.count = 0;
    ++failures.count;
    failures.last = now;
    return failures.count;
}

void FailureDelays::forget(const QByteArray &key)
{
    std::lock_guard lock(m_mutex);
    m_failures.remove(key);
}

void FailureDelays::forgetStale(qint64 now)
{
    m_failures.removeIf([&](const auto &entry) { return entry.value().last <= now - m_window; });
    if (m_failures.size() < kMaxFailureKeys)
        return;
    QList<qint64> times;
    for (const Failures &failures : std::as_const(m_failures))
        times << failures.last;
    std::nth_element(times.begin(), times.begin() + times.size() / 2, times.end());
    const qint64 median = times.at(times.size() / 2);
    m_failures.removeIf([&](const auto &entry) { return entry.value().last <= median; });
}

static QString tooManySignIns(qint64 wait)
{
    return QStringLiteral("Entradas demais em pouco tempo; aguarde %1 s e tente novamente.").arg(wait);
}

// The waits after failures and the address's rate, told before the sign-in is queued for its
// hashing, whatever the password: they say nothing of it.
std::optional<QJsonValue> SessionStore::admitSignIn(const Args &args, const QByteArray &peer) const
{
    const QByteArray address = countedAddress(peer);
    if (address.isEmpty())
        return std::nullopt;
    const QString code = args.text(0).trimmed().toUpper();
    QString refusal;
    if (const qint64 wait = std::max(m_throttle->perOperator.secondsToWait(address + '/' + code.toUtf8()), m_throttle->perAddress.secondsToWait(address));
        wait > 0)
        refusal = QStringLiteral("Tentativas de entrada erradas demais a partir deste endereço; aguarde %1 s e tente novamente.").arg(wait);
    else if (const qint64 wait = m_throttle->addressRate.take(address); wait > 0)
        refusal = tooManySignIns(wait);
    if (refusal.isEmpty())
        return std::nullopt;
    postAudit(AuditEntry{QDateTime::currentDateTimeUtc(), code, addressText(peer), QStringLiteral("entrar"), QStringLiteral("-"), {}, refusal, 0});
    return wire::envelope::fail(refusal);
}

CallResult SessionStore::signIn(const Args &args) const
{
    const QString code = args.text(0).trimmed().toUpper();
    const QByteArray address = countedAddress(CallContext::current() ? CallContext::current()->peer() : QByteArray());
    const QByteArray operatorFromAddress = address + '/' + code.toUtf8();
    const bool counted = !address.isEmpty();
    QSqlDatabase db = threadConnection(m_settings);
    const SignInCheck check = checkSignIn(db, code, args.text(1));
    if (!check.signedIn) {
        if (counted) {
            m_throttle->perOperator.failed(operatorFromAddress);
            if (m_throttle->perAddress.failed(address) == m_throttle->addressLimit && m_throttle->addressLimit > 0)
                logLine(LogLevel::Warning, QStringLiteral("%1 entradas erradas do endereço %2 em %3 min: as próximas dele esperam")
                                               .arg(m_throttle->addressLimit).arg(addressText(address)).arg(m_limits.failureWindowSeconds / 60));
        }
        return CallResult{wire::envelope::fail(check.refusal), {}};
    }
    if (counted)
        m_throttle->perOperator.forget(operatorFromAddress);
    if (const qint64 wait = m_throttle->operatorRate.take(check.signedIn->code.toUtf8()); wait > 0)
        return CallResult{wire::envelope::fail(tooManySignIns(wait)), {}};

    unsigned char random[kTokenBytes];
    randombytes_buf(random, sizeof random);
    const QByteArray token = QByteArray(reinterpret_cast<const char *>(random), kTokenBytes).toHex();
    sodium_memzero(random, sizeof random);
    const QDateTime now = QDateTime::currentDateTimeUtc();
    WriteTransaction transaction(db);
    // Sessions that ended without "sair" go with the next sign-in of anyone.
    exec(db, Sql(QStringLiteral("DELETE FROM SESSAO WHERE DTCRIACAO < ? OR DTULTIMOUSO < ?"))
                 .bind(now.addSecs(-m_limits.absoluteSeconds)).bind(now.addSecs(-m_limits.idleSeconds)),
         QStringLiteral("remover sessões vencidas"));
    const QString id = idOf(token);
    exec(db, Sql(QStringLiteral("INSERT INTO SESSAO (CDSESSAO, CDOPERADOR, DTCRIACAO, DTULTIMOUSO) VALUES (?, ?, ?, ?)"))
                 .bind(id).bind(check.signedIn->code).bind(now).bind(now),
         QStringLiteral("abrir a sessão"));
    // The operator's oldest sessions beyond the cap end: sign-in loops cannot pile sessions up.
    exec(db, Sql(QStringLiteral("DELETE FROM SESSAO WHERE CDOPERADOR = ? AND CDSESSAO <> ? AND CDSESSAO NOT IN"
                                " (SELECT CDSESSAO FROM SESSAO WHERE CDOPERADOR = ? AND CDSESSAO <> ? ORDER BY DTCRIACAO DESC, CDSESSAO LIMIT %1)")
                     .arg(qMax(0, int(m_limits.sessionsPerOperator) - 1)))
                 .bind(check.signedIn->code).bind(id).bind(check.signedIn->code).bind(id),
         QStringLiteral("encerrar as sessões mais antigas do operador"));
    transaction.commit();

    const OperatorRecord &account = *check.signedIn;
    return CallResult{wire::envelope::ok(QJsonObject{{QStringLiteral("token"), QString::fromLatin1(token)},
                                                     {QStringLiteral("operador"), account.code},
                                                     {QStringLiteral("nome"), account.name},
                                                     {QStringLiteral("filial"), account.branch},
                                                     {QStringLiteral("central"), account.central},
                                                     {QStringLiteral("papel"), roleCode(account.role)}}),
                      {}};
}

CallResult SessionStore::signOut(const Args &) const
{
    const Caller &caller = Caller::current();
    if (!caller.isOperator())
        return CallResult{wire::envelope::ok(QString()), {}};
    QSqlDatabase db = threadConnection(m_settings);
    WriteTransaction transaction(db);
    exec(db, Sql(QStringLiteral("DELETE FROM SESSAO WHERE CDSESSAO = ?")).bind(caller.sessionId), QStringLiteral("encerrar a sessão"));
    transaction.commit();
    return CallResult{wire::envelope::ok(QString()), {}};
}

} // namespace server
