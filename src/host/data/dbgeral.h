#pragma once

#include "wire/databaseurl.h"
#include "wire/datapacket.h"

#include <QObject>
#include <QSqlDatabase>
#include <QVariantMap>

#include <memory>

namespace host {

// The SQL text variants a host query carries; chosen from the connection's driver. SQLite and
// PostgreSQL run the generic text unless a query (a report layout's) has one of their own.
enum class SqlDialect { Generic, Oracle, MsSql, InterBase, Sqlite, Postgres };
SqlDialect dialectForDriver(const QString &qtDriverName);

// A connection to the client's general database only reads (the application server writes):
// PostgreSQL is told so once the connection is open; SQLite's is opened read-only.
void setSessionReadOnly(QSqlDatabase &db);

// Where the general data comes from in the client: the application server, which runs its own
// SQL under the operator's rights. A lookup is named by its query object; a report query by the
// report, the installed layout file and the query's name. Both raise HostError (or a
// CancelledError when the user cancels the wait).
class GeneralDataSource
{
public:
    virtual ~GeneralDataSource() = default;
    virtual wire::DataPacket lookup(const QString &queryName, const QVariantMap &params) = 0;
    virtual QList<QVariantMap> reportRows(const QString &reportCode, const QString &layoutFile, const QString &queryName,
                                          const QVariantMap &params) = 0;
};

// The host's general data module. In the client it only holds the application server's data
// source (useServer): no client opens the database. Tools and tests of the host's own parts may
// still open a database directly ("adcGeral", read-only).
class TdtmDBGeral : public QObject
{
    Q_OBJECT
public:
    explicit TdtmDBGeral(QObject *parent = nullptr);
    ~TdtmDBGeral() override;

    void useServer(std::shared_ptr<GeneralDataSource> server);
    // The server's data source; none when a database was opened instead.
    GeneralDataSource *server() const { return m_server.get(); }

    // Opens the database; raises with a Portuguese message naming the address when it cannot.
    void open(const wire::DatabaseUrl &url);
    void close();
    bool isOpen() const;

    QSqlDatabase adcGeral() const; // raises when not open
    SqlDialect dialect() const;
    QString address() const { return m_address; }

private:
    QString m_connectionName;
    QString m_address;
    std::shared_ptr<GeneralDataSource> m_server;
};

} // namespace host
