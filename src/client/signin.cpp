#include "client/signin.h"

#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "host/network/checkresultserv.h"
#include "host/network/netconnection.h"
#include "wire/secretfile.h"

#include <QVariantMap>

#include <cstdio>

namespace client {

using host::HostError;

namespace {

const QString kSessionObject = QStringLiteral("Sessao");

// A connection to the session object that carries the given token ("" to sign in).
std::unique_ptr<host::TNetConnection> sessionConnection(const host::ClientConfig &config, const QString &token)
{
    auto connection = std::make_unique<host::TNetConnection>(QStringLiteral("netSessao"), kSessionObject);
    connection->Host = config.serverHost;
    connection->Port = config.serverPort;
    // The host's services install the configured transport only after the sign-in, and the
    // password must never leave by another road than the calls that follow it.
    connection->useTransport(config.transport);
    // A token of one space: no session yet, and not the default one either.
    connection->Token = token.isEmpty() ? QStringLiteral(" ") : token;
    connection->Open();
    return connection;
}

} // namespace

SignedIn signIn(const host::ClientConfig &config, const Credentials &credentials)
{
    const auto connection = sessionConnection(config, {});
    const QVariantMap data = host::CheckResultServ(connection->Call(QStringLiteral("entrar"),
                                                                    {host::RpcArg::val(credentials.operatorCode.trimmed()),
                                                                     host::RpcArg::val(credentials.password)}),
                                                   true, 0)
                                 .toMap();
    SignedIn session;
    session.token = data.value(QStringLiteral("token")).toString();
    session.operatorCode = data.value(QStringLiteral("operador")).toString();
    session.operatorName = data.value(QStringLiteral("nome")).toString();
    session.branch = data.value(QStringLiteral("filial")).toString();
    session.central = data.value(QStringLiteral("central")).toString();
    session.role = data.value(QStringLiteral("papel")).toString();
    if (session.token.isEmpty() || session.branch.isEmpty())
        throw HostError(QStringLiteral("O servidor de aplicação não abriu a sessão (resposta sem credencial)."));
    return session;
}

void signOut(const host::ClientConfig &config, const QString &token)
{
    // Also after a stop signal, which stops every other call.
    host::CancelShield evenWhenStopped;
    try {
        sessionConnection(config, token)->Call(QStringLiteral("sair"));
    } catch (const std::exception &error) {
        std::fprintf(stderr, "zub-client: a sessão não foi encerrada no servidor: %s\n", error.what());
    }
}

void adoptSession(host::ClientConfig &config, const SignedIn &session)
{
    config.token = session.token;
    config.tokenFile.clear();
    config.operatorCode = session.operatorCode;
    config.operatorName = session.operatorName;
    config.branch = session.branch;
    if (session.role == QLatin1String("E"))
        config.branchMode = true;
}

std::optional<Credentials> unattendedCredentials(const QString &path)
{
    if (path.isEmpty()) {
        if (qEnvironmentVariableIsEmpty("ZUB_OPERADOR") || !qEnvironmentVariableIsSet("ZUB_SENHA"))
            return std::nullopt;
        return Credentials{qEnvironmentVariable("ZUB_OPERADOR"), qEnvironmentVariable("ZUB_SENHA")};
    }
    QString error;
    const auto content = wire::readOwnerOnlyFile(path, QStringLiteral("arquivo de credenciais"), 8192, &error);
    if (!content)
        throw HostError(error);
    Credentials credentials;
    const QList<QByteArray> lines = content->split('\n');
    for (QByteArray line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
        const qsizetype equals = line.indexOf('=');
        const QByteArray key = line.left(equals).trimmed();
        if (equals > 0 && key == "operador")
            credentials.operatorCode = QString::fromUtf8(line.mid(equals + 1)).trimmed();
        else if (equals > 0 && key == "senha")
            credentials.password = QString::fromUtf8(line.mid(equals + 1));
    }
    if (credentials.operatorCode.isEmpty() || credentials.password.isEmpty())
        throw HostError(QStringLiteral("O arquivo de credenciais %1 precisa das linhas operador=CÓDIGO e senha=SENHA.").arg(path));
    return credentials;
}

} // namespace client
