#pragma once

#include "host/data/dbgeral.h"

#include <QString>

namespace host {

class TNetConnection;


// The general data of the client, from the application server's object for it: lookups by their
// query's name, the rows of report layout queries. The calls go as every other (the session's
// token, TLS and the other servers of the configuration, "Cancelar").
class ServerDataSource : public GeneralDataSource
{
public:
    ServerDataSource(const QString &host, int port);
    ~ServerDataSource() override;

    wire::DataPacket lookup(const QString &queryName, const QVariantMap &params) override;
    QList<QVariantMap> reportRows(const QString &reportCode, const QString &layoutFile, const QString &queryName,
                                  const QVariantMap &params) override;

private:
    QVariant call(const QString &method, const QVariantList &arguments);
    QString m_host;
    int m_port;
    std::unique_ptr<TNetConnection> m_connection;
};

} // namespace host
