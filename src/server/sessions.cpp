#include "server/sessions.h"

#include "server/callcontext.h"
#include "server/serverlog.h"
#include "wire/datapacket.h"

#include <QCryptographicHash>
#include <QHostAddress>
#include <QtEndian>
#include <QDateTime>
#include <QJsonObject>
#include <QSqlQuery>

#include <sodium.h>

#include <chrono>

namespace server {

namespace {

// Seconds on a clock that never goes back.
qint64 steadySeconds()
{
    return std::chrono::duration_cast<std::chrono::seconds>(std::chrono::steady_clock::now().time_since_epoch()).count();
}

// An address as the log shows it.
QString addressText(const QByteArray &address)
{
    if (address.size() == 4)
        return QHostAddress(qFromBigEndian<quint32>(address.constData())).toString();
    if (address.size() == 16)
        return QHostAddress(reinterpret_cast<const quint8 *>(address.constData())).toString();
    return QString::fromLatin1(address.toHex());
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
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT CDOPERADOR, DTCRIACAO, DTULTIMOUSO FROM SESSAO WHERE CDSESSAO = ?")).bind(id),
                           QStringLiteral("ler a sessão"));
    if (!query.next())
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
        const QString number = newIncident();
        logLine(LogLevel::Error, QStringLiteral("ocorrência %1: verificação da sessão: %2").arg(number, error.message));
        return Verdict{std::nullopt, wire::ServerError,
                       QStringLiteral("Não foi possível verificar a sessão (ocorrência %1). Tente novamente; se persistir, informe o número ao suporte.")
                           .arg(number),
                       number};
    }
}

QList<MethodSpec> SessionStore::methods() const
{
    return {
        {QStringLiteral("entrar"), {{QStringLiteral("operador")}, {QStringLiteral("senha")}}, [this](const Args &args) { return signIn(args); }},
        {QStringLiteral("sair"), {}, [this](const Args &args) { return signOut(args); }},
    };
}

qint64 SignInThrottle::secondsToWait(const QByteArray &address)
{
    if (address.isEmpty() || m_limits.failuresPerAddress == 0)
        return 0;
    std::lock_guard lock(m_mutex);
    auto found = m_failures.find(address);
    if (found == m_failures.end())
        return 0;
    const qint64 now = steadySeconds();
    forgetOld(*found, now);
    if (found->isEmpty()) {
        m_failures.erase(found);
        return 0;
    }
    if (unsigned(found->size()) < m_limits.failuresPerAddress)
        return 0;
    return std::max<qint64>(1, found->first() + m_limits.failureWindowSeconds - now);
}

void SignInThrottle::failed(const QByteArray &address)
{
    if (address.isEmpty() || m_limits.failuresPerAddress == 0)
        return;
    std::lock_guard lock(m_mutex);
    QList<qint64> &failures = m_failures[address];
    const qint64 now = steadySeconds();
    forgetOld(failures, now);
    failures.append(now);
    if (unsigned(failures.size()) == m_limits.failuresPerAddress)
        logLine(LogLevel::Warning, QStringLiteral("%1 entradas erradas do endereço %2 em %3 min: novas entradas dele recusadas até a mais antiga vencer")
                                       .arg(failures.size()).arg(addressText(address)).arg(m_limits.failureWindowSeconds / 60));
}

void SignInThrottle::forgetOld(QList<qint64> &failures, qint64 now) const
{
    while (!failures.isEmpty() && failures.first() <= now - m_limits.failureWindowSeconds)
        failures.removeFirst();
}

CallResult SessionStore::signIn(const Args &args) const
{
    const QString code = args.text(0).trimmed().toUpper();
    const QByteArray peer = CallContext::current() ? CallContext::current()->peer() : QByteArray();
    if (const qint64 wait = m_throttle->secondsToWait(peer); wait > 0)
        return CallResult{wire::envelope::fail(QStringLiteral("Tentativas de entrada erradas demais a partir deste endereço; tente novamente em %1 min.")
                                                   .arg((wait + 59) / 60)),
                          {}};
    QSqlDatabase db = threadConnection(m_settings);
    const SignInCheck check = checkSignIn(db, code, args.text(1));
    if (!check.signedIn) {
        m_throttle->failed(peer);
        return CallResult{wire::envelope::fail(check.refusal), {}};
    }

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
    exec(db, Sql(QStringLiteral("INSERT INTO SESSAO (CDSESSAO, CDOPERADOR, DTCRIACAO, DTULTIMOUSO) VALUES (?, ?, ?, ?)"))
                 .bind(idOf(token)).bind(check.signedIn->code).bind(now).bind(now),
         QStringLiteral("abrir a sessão"));
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
