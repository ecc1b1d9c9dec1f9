#include "host/network/serverdata.h"

#include "host/data/errors.h"
#include "host/network/checkresultserv.h"
#include "host/network/netconnection.h"
#include "host/work/longwork.h"
#include "wire/rpcmessage.h"

namespace host {

ServerDataSource::ServerDataSource(const QString &host, int port) : m_host(host), m_port(port) {}

ServerDataSource::~ServerDataSource() = default;

QVariant ServerDataSource::call(const QString &method, const QVariantList &arguments)
{
    // Made on first use, so it takes the transport and token the host set up after login.
    if (!m_connection) {
        m_connection = std::make_unique<TNetConnection>(QStringLiteral("netDadosGerais"), QString::fromLatin1(wire::kGeneralDataObject));
        m_connection->Host = m_host;
        m_connection->Port = m_port;
    }
    if (!m_connection->Connected())
        m_connection->Open();
    QList<RpcArg> args;
    for (const QVariant &argument : arguments)
        args.append(RpcArg::val(argument));
    return CheckResultServ(m_connection->Call(method, args), true, 0);
}

wire::DataPacket ServerDataSource::lookup(const QString &queryName, const QVariantMap &params)
{
    QString why;
    const auto packet = wire::DataPacket::fromVariant(call(QStringLiteral("AbreConsulta"), {queryName, params}), &why);
    if (!packet)
        throw ServerError(QStringLiteral("Resposta do servidor à consulta %1 em formato inesperado: %2").arg(queryName, why));
    return *packet;
}

QList<QVariantMap> ServerDataSource::reportRows(const QString &reportCode, const QString &layoutFile, const QString &queryName,
                                                const QVariantMap &params)
{
    const QVariantMap packet = call(QStringLiteral("DadosRelatorio"), {reportCode, layoutFile, queryName, params}).toMap();
    QStringList names;
    for (const QVariant &field : packet.value(QStringLiteral("fields")).toList())
        names.append(field.toMap().value(QStringLiteral("name")).toString().toUpper());
    const QVariantList rows = packet.value(QStringLiteral("rows")).toList();
    QList<QVariantMap> result;
    result.reserve(rows.size());
    for (const QVariant &row : rows) {
        // A large report's rows take tens of milliseconds: the window is served between runs of them.
        if (result.size() % 1024 == 0 && workUnderWay())
            keepResponsive();
        const QVariantList values = row.toList();
        if (values.size() != names.size())
            throw ServerError(QStringLiteral("Resposta do servidor à consulta \"%1\" do relatório com linhas incompletas.").arg(queryName));
        QVariantMap map;
        for (int i = 0; i < names.size(); ++i)
            map.insert(names[i], values[i]);
        result.append(map);
    }
    return result;
}

} // namespace host
