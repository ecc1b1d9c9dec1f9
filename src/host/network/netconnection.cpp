#include "host/network/netconnection.h"

#include "host/data/errors.h"
#include "host/network/httpclient.h"
#include "wire/rpcmessage.h"
#include "wire/wirevalue.h"

namespace host {

RpcArg RpcArg::ref(QString &variable)
{
    return RpcArg(variable, [&variable](const QVariant &value) { variable = wire::toText(value); });
}

RpcArg RpcArg::ref(QVariant &variable)
{
    return RpcArg(variable, [&variable](const QVariant &value) { variable = value; });
}

std::function<QString()> &TNetConnection::defaultToken()
{
    static std::function<QString()> provider;
    return provider;
}

void TNetConnection::setDefaultToken(std::function<QString()> provider)
{
    defaultToken() = std::move(provider);
}

TNetConnection::TNetConnection(const QString &name, const QString &serverName, QObject *parent)
    : QObject(parent), ServerName(serverName)
{
    setObjectName(name);
}

QString TNetConnection::address() const
{
    return Host + QLatin1Char(':') + QString::number(Port);
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
    wire::RpcRequest request;
    request.id = m_nextId++;
    request.method = method;
    for (const RpcArg &arg : args)
        request.params.append(wire::toJson(arg.value()));

    QString token = Token;
    if (token.isEmpty() && defaultToken())
        token = defaultToken()();

    HttpResponse http;
    try {
        http = httpPost(Host, Port, wire::rpcPath(ServerName),
                        {{"Content-Type", "application/json"}, {"Authorization", "Bearer " + token.toUtf8()}},
                        request.encode(), ConnectTimeoutMs, CallTimeoutMs);
    } catch (const HttpTransportFailure &failure) {
        switch (failure.kind) {
        case HttpTransportFailure::Kind::Unreachable:
            throw ServerError(QStringLiteral("Não foi possível conectar ao servidor de aplicação em %1 (%2).")
                                  .arg(address(), failure.detail));
        case HttpTransportFailure::Kind::Timeout:
            throw ServerError(QStringLiteral("O servidor de aplicação em %1 não respondeu a tempo à chamada %2.")
                                  .arg(address(), method));
        case HttpTransportFailure::Kind::Broken:
            throw ServerError(QStringLiteral("A comunicação com o servidor de aplicação em %1 foi interrompida (%2).")
                                  .arg(address(), failure.detail));
        }
    }

    if (http.status == 401 || http.status == 403)
        throw ServerError(QStringLiteral("O servidor de aplicação em %1 recusou a credencial de acesso (token).").arg(address()));
    QString problem;
    const auto response = wire::RpcResponse::decode(http.body, &problem);
    if (!response) {
        throw ServerError(QStringLiteral("Resposta inválida do servidor de aplicação em %1 à chamada %2 (HTTP %3: %4).")
                              .arg(address(), method)
                              .arg(http.status)
                              .arg(problem));
    }
    if (response->error) {
        if (response->error->code == wire::Unauthorized)
            throw ServerError(QStringLiteral("O servidor de aplicação em %1 recusou a credencial de acesso (token).").arg(address()));
        throw ServerError(response->error->message);
    }
    for (auto it = response->vars.begin(); it != response->vars.end(); ++it) {
        // A value for a by-value argument, or for a position the call does not have, is ignored.
        if (it.key() < args.size() && args[it.key()].isByReference())
            args[it.key()].writeBack(wire::fromJson(it.value()));
    }
    return wire::fromJson(response->answer);
}

} // namespace host
