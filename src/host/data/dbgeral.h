#pragma once

#include "wire/databaseurl.h"

#include <QObject>
#include <QSqlDatabase>

namespace host {

// The SQL text variants a host query carries; chosen from the connection's driver. SQLite and
// PostgreSQL run the generic text unless a query (a report layout's) has one of their own.
enum class SqlDialect { Generic, Oracle, MsSql, InterBase, Sqlite, Postgres };
SqlDialect dialectForDriver(const QString &qtDriverName);

// A connection to the client's general database only reads (the application server writes):
// PostgreSQL is told so once the connection is open; SQLite's is opened read-only.
void setSessionReadOnly(QSqlDatabase &db);

// The host's general data module: the client's own read-only database connection ("adcGeral"),
// used by lookup queries and the local cache.
class TdtmDBGeral : public QObject
{
    Q_OBJECT
public:
    explicit TdtmDBGeral(QObject *parent = nullptr);
    ~TdtmDBGeral() override;

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
};

} // namespace host
