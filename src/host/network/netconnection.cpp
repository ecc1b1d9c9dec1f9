#include "host/network/netconnection.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/network/httpclient.h"
#include "wire/rpcmessage.h"
#include "wire/wirevalue.h"

#include <QDebug>
#include <QJsonValue>
#include <QRandomGenerator>
#include <atomic>
#include <chrono>
#include <future>
#include <utility>

namespace host {

namespace {

// An answer and its value as the caller gets it.
struct DecodedAnswer {
    std::optional<wire::RpcResponse> response;
    QString problem;
    QVariant answer;
};

DecodedAnswer decodeAnswer(const QByteArray &body)
{
    DecodedAnswer decoded;
    decoded.response = wire::RpcResponse::decode(body, &decoded.problem);
    if (decoded.response && !decoded.response->error)
        decoded.answer = wire::fromJson(decoded.response->answer);
    return decoded;
}

// A report's rows come in answers of megabytes that take a tenth of a second and more to decode:
// during a long work they are decoded on a thread of their own while the window is served.
DecodedAnswer decodeServingTheWindow(const QByteArray &body)
{
    constexpr qsizetype kLargeAnswer = 256 * 1024;
    if (body.size() < kLargeAnswer || !workUnderWay())
        return decodeAnswer(body);
    std::future<DecodedAnswer> decoding = std::async(std::launch::async, decodeAnswer, body);
    try {
        while (decoding.wait_for(std::chrono::milliseconds(20)) != std::future_status::ready)
            keepResponsive();
    } catch (...) {
        decoding.wait(); // the call ends after its thread
        throw;
    }
    return decoding.get();
}

} // namespace

RpcArg RpcArg::ref(QString &variable)
{
    return RpcArg(variable, [&variable](const QVariant &value) { variable = wire::toText(value); });
}

RpcArg RpcArg::ref(QVariant &variable)
{
    return RpcArg(variable, [&variable](const QVariant &value) { variable = value; });
}

TNetConnection::Defaults &TNetConnection::defaults()
{
    static Defaults inForce;
    return inForce;
}

TNetConnection::DefaultsScope::DefaultsScope(Defaults defaults)
    : m_previous(std::exchange(TNetConnection::defaults(), std::move(defaults)))
{
}

TNetConnection::DefaultsScope::~DefaultsScope()
{
    TNetConnection::defaults() = std::move(m_previous);
}

TNetConnection::TNetConnection(const QString &name, const QString &serverName, QObject *parent)
    : QObject(parent), ServerName(serverName)
{
    setObjectName(name);
    useTransport(defaults().transport);
}

void TNetConnection::useTransport(const NetTransport &transport)
{
    ConnectTimeoutMs = transport.connectTimeoutMs;
    CallTimeoutMs = transport.callTimeoutMs;
    UseTls = transport.tls;
    CaFile = transport.caFile;
    OtherAddresses = transport.otherAddresses;
}

namespace {

// Ids unique for this caller across the whole process, whatever the connection, so that a cancel
// (known to the server by object, token and id) never reaches another call of the same token.
qint64 nextCallId()
{
    static std::atomic<qint64> next{qint64(QRandomGenerator::global()->bounded(1 << 30)) << 16};
    return ++next;
}

QString seconds(int ms)
{
    return QString::number(ms / 1000.0, 'g', 3);
}

} // namespace

struct TNetConnection::Answer {
    HttpResponse http;
};

QStringList TNetConnection::addresses() const
{
    QStringList all{Host + QLatin1Char(':') + QString::number(Port)};
    for (const QString &other : OtherAddresses) {
        if (!all.contains(other.trimmed()) && !other.trimmed().isEmpty())
            all.append(other.trimmed());
    }
    return all;
}

// A proxy's own answer (HAProxy's page for no server, a server lost mid-call or too slow), not a
// server's JSON-RPC answer, which also uses 503 when busy.
static bool fromBalancer(const HttpResponse &http)
{
    return (http.status == 502 || http.status == 503 || http.status == 504) && !wire::RpcResponse::decode(http.body, nullptr);
}

// What a failure of the transport means for the user, and what to do about it.
static QString transportMessage(const HttpTransportFailure &failure, const QString &address, const QString &method,
                                int callTimeoutMs)
{
    switch (failure.kind) {
    case HttpTransportFailure::Kind::Unreachable:
        return QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1 (%2). Verifique se o servidor "
                              "está em execução e se o endereço em [servidor] da configuração do cliente está correto.")
            .arg(address, failure.detail);
    case HttpTransportFailure::Kind::Timeout:
        return QStringLiteral("O servidor de aplicação em %1 não respondeu em %2 s à chamada %3. Tente novamente mais "
                              "tarde; se continuar, aumente tempo_chamada em [servidor] ou informe o suporte.")
            .arg(address, seconds(callTimeoutMs), method);
    case HttpTransportFailure::Kind::Certificate:
        return QStringLiteral("O certificado do servidor de aplicação em %1 não foi aceito (%2). Confira o arquivo de "
                              "autoridades (ca) em [servidor] da configuração do cliente.")
            .arg(address, failure.detail);
    case HttpTransportFailure::Kind::TooLarge:
        return QStringLiteral("A resposta do servidor de aplicação em %1 à chamada %2 passou de %3 e foi recusada. Confira se o "
                              "endereço em [servidor] é mesmo o do servidor; se for, restrinja os filtros ou informe o suporte.")
            .arg(address, method, failure.detail);
    case HttpTransportFailure::Kind::Broken:
        break;
    }
    return QStringLiteral("A comunicação com o servidor de aplicação em %1 foi interrompida durante a chamada %2 (%3). "
                          "Confira o resultado antes de repetir a operação.")
        .arg(address, method, failure.detail);
}

TNetConnection::Answer TNetConnection::post(const QString &address, const QString &method, const QByteArray &body,
                                            bool cancellable) const
{
    QString token = Token;
    if (token.isEmpty() && defaults().token)
        token = defaults().token();
    HttpPostRequest request;
    request.scheme = UseTls ? QStringLiteral("https") : QStringLiteral("http");
    const int colon = address.lastIndexOf(QLatin1Char(':'));
    request.host = address.left(colon);
    request.port = address.mid(colon + 1).toInt();
    request.path = wire::rpcPath(ServerName);
    request.headers = {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + token.toUtf8()}};
    request.body = body;
    request.connectTimeoutMs = ConnectTimeoutMs;
    request.timeoutMs = cancellable ? CallTimeoutMs : qMin(CallTimeoutMs, 2000);
    request.caFile = CaFile;
    request.cancellable = cancellable;
    if (colon <= 0 || request.port <= 0 || request.port > 65535)
        throw ServerError(QStringLiteral("Endereço de servidor de aplicação inválido: \"%1\" (use host:porta).").arg(address));
    return Answer{httpPost(request)};
}

void TNetConnection::askServerToCancel(const QString &address, qint64 id) const
{
    wire::RpcRequest cancel;
    cancel.id = nextCallId();
    cancel.method = QString::fromLatin1(wire::kCancelMethod);
    cancel.params.append(QJsonValue(double(id)));
    try {
        post(address, cancel.method, cancel.encode(), false);
    } catch (...) {
        // The aborted connection stops the call on the server as well; nothing more to do.
    }
}

void TNetConnection::setConnected(bool connected)
{
    if (!connected) {
        m_connected = false;
        return;
    }
    if (BeforeConnect)
        BeforeConnect(this);
    if (Host.trimmed().isEmpty() || Port <= 0 || Port > 65535)
        throw ServerError(QStringLiteral("Endereço do servidor de aplicação não configurado (servidor \"%1\", porta %2).")
                              .arg(Host).arg(Port));
    m_connected = false;
    m_active.clear();
    m_skipped.clear();
    exchange(QString::fromLatin1(wire::kPingMethod), {});
    m_connected = true;
}

QVariant TNetConnection::Call(const QString &method, const QList<RpcArg> &args)
{
    if (!m_connected)
        throw ServerError(QStringLiteral("A conexão %1 com o servidor de aplicação não está aberta.").arg(objectName()));
    return exchange(method, args);
}

QVariant TNetConnection::exchange(const QString &method, const QList<RpcArg> &args)
{
    const qint64 id = nextCallId();
    wire::RpcRequest request;
    request.id = id;
    request.method = method;
    for (const RpcArg &arg : args)
        request.params.append(wire::toJson(arg.value()));
    const QByteArray body = request.encode();

    // The server that answered last first, then the others in their order.
    QStringList candidates = addresses();
    if (!m_active.isEmpty() && candidates.contains(m_active)) {
        candidates.removeAll(m_active);
        candidates.prepend(m_active);
    }
    HttpResponse http;
    QString address;
    QStringList unreachable;
    for (int i = 0;; ++i) {
        address = candidates[i];
        try {
            http = post(address, method, body, true).http;
            // A balancer with no server behind it took nothing: the next address may serve.
            if (!fromBalancer(http) || http.status != 503 || i + 1 == candidates.size())
                break;
            unreachable.append(QStringLiteral("%1 (HTTP 503)").arg(address));
            m_skipped.append(unreachable.last());
            continue;
        } catch (const CancelledError &) {
            askServerToCancel(address, id);
            throw;
        } catch (const HttpTransportFailure &failure) {
            // Only a call that cannot have reached the server may go to the next one.
            if (failure.maybeSent || i + 1 == candidates.size()) {
                if (unreachable.isEmpty() || failure.maybeSent)
                    throw ServerError(transportMessage(failure, address, method, CallTimeoutMs));
                unreachable.append(QStringLiteral("%1 (%2)").arg(address, failure.detail));
                throw ServerError(QStringLiteral("Nenhum servidor de aplicação respondeu: %1. Verifique se os servidores "
                                                 "estão em execução e os endereços em [servidor] da configuração do cliente.")
                                      .arg(unreachable.join(QStringLiteral("; "))));
            }
            unreachable.append(QStringLiteral("%1 (%2)").arg(address, failure.detail));
            m_skipped.append(unreachable.last());
            qWarning().noquote() << QStringLiteral("Servidor de aplicação %1 ignorado: %2; tentando %3.")
                                        .arg(address, failure.detail, candidates[i + 1]);
        }
    }
    m_active = address;

    if (http.status == 401 || http.status == 403)
        throw ServerError(QStringLiteral("O servidor de aplicação em %1 recusou a credencial de acesso (token).").arg(address));
    if (fromBalancer(http))
        throw ServerError(QStringLiteral("Servidor ocupado/indisponível, tente novamente (o balanceador em %1 respondeu HTTP %2 à chamada %3).")
                              .arg(address)
                              .arg(http.status)
                              .arg(method));
    const DecodedAnswer decoded = decodeServingTheWindow(http.body);
    const std::optional<wire::RpcResponse> &response = decoded.response;
    if (!response) {
        throw ServerError(QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada %2 (HTTP %3: %4).")
                              .arg(address, method)
                              .arg(http.status)
                              .arg(decoded.problem));
    }
    if (response->error) {
        if (response->error->code == wire::Unauthorized)
            throw ServerError(QStringLiteral("O servidor de aplicação em %1 recusou a credencial de acesso (token).").arg(address));
        throw ServerError(response->error->message);
    }
    for (auto it = response->vars.begin(); it != response->vars.end(); ++it) {
        // A value for a by-value argument, or for a position the call does not have, is ignored.
        if (it.key() < args.size() && args[it.key()].isByReference())
            args[it.key()].writeBack(wire::fromJson(it.value()));
    }
    return decoded.answer;
}

} // namespace host
