#include "host/data/dbgeral.h"

#include "host/data/errors.h"

#include <QFileInfo>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

namespace host {

SqlDialect dialectForDriver(const QString &qtDriverName)
{
    if (qtDriverName == QLatin1String("QOCI"))
        return SqlDialect::Oracle;
    if (qtDriverName == QLatin1String("QODBC") || qtDriverName == QLatin1String("QTDS"))
        return SqlDialect::MsSql;
    if (qtDriverName == QLatin1String("QIBASE"))
        return SqlDialect::InterBase;
    if (qtDriverName == QLatin1String("QSQLITE"))
        return SqlDialect::Sqlite;
    if (qtDriverName == QLatin1String("QPSQL"))
        return SqlDialect::Postgres;
    return SqlDialect::Generic;
}

void setSessionReadOnly(QSqlDatabase &db)
{
    if (db.driverName() == QLatin1String("QPSQL"))
        QSqlQuery(db).exec(QStringLiteral("SET default_transaction_read_only = on"));
}

TdtmDBGeral::TdtmDBGeral(QObject *parent) : QObject(parent)
{
    setObjectName(QStringLiteral("dtmDBGeral"));
    m_connectionName = QStringLiteral("adcGeral-") + QUuid::createUuid().toString(QUuid::WithoutBraces);
}

TdtmDBGeral::~TdtmDBGeral()
{
    close();
}

void TdtmDBGeral::open(const wire::DatabaseUrl &url)
{
    close();
    m_server.reset();
    m_address = url.display();
    if (url.kind == wire::DatabaseUrl::Kind::Sqlite && !QFileInfo::exists(url.path))
        throw HostError(QStringLiteral("Banco de dados não encontrado: %1.").arg(url.path));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(url.qtDriver(), m_connectionName);
        url.applyTo(db);
        // The application server writes while the client reads; wait instead of failing.
        if (url.kind == wire::DatabaseUrl::Kind::Sqlite)
            db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            const QString reason = db.lastError().text();
            db = QSqlDatabase();
            QSqlDatabase::removeDatabase(m_connectionName);
            throw HostError(QStringLiteral("Não foi possível abrir o banco de dados %1: %2").arg(m_address, reason));
        }
        setSessionReadOnly(db);
    }
}

void TdtmDBGeral::close()
{
    if (!QSqlDatabase::contains(m_connectionName))
        return;
    {
        QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
        db.close();
    }
    QSqlDatabase::removeDatabase(m_connectionName);
}

void TdtmDBGeral::useServer(std::shared_ptr<GeneralDataSource> server)
{
    close();
    m_server = std::move(server);
    m_address.clear();
}

bool TdtmDBGeral::isOpen() const
{
    return m_server || (QSqlDatabase::contains(m_connectionName) && QSqlDatabase::database(m_connectionName, false).isOpen());
}

QSqlDatabase TdtmDBGeral::adcGeral() const
{
    if (m_server)
        throw HostError(QStringLiteral("O cliente não acessa o banco de dados: os dados vêm do servidor de aplicação."));
    if (!isOpen())
        throw HostError(QStringLiteral("O banco de dados geral não está aberto."));
    return QSqlDatabase::database(m_connectionName, false);
}

SqlDialect TdtmDBGeral::dialect() const
{
    return dialectForDriver(adcGeral().driverName());
}

} // namespace host
