#include "support/testhost.h"

#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <stdexcept>

static const char *const kSchemaAndRows[] = {
    "CREATE TABLE FILIAL (CDFILIAL VARCHAR(4) PRIMARY KEY, NMFILIAL VARCHAR(30), IDCNTRRESC CHAR(1),"
    " IDFILCENTZUB CHAR(1), CDFILCENTZUB VARCHAR(4), IDMATRFILI CHAR(1), DTPROCESSA DATE)",
    "INSERT INTO FILIAL VALUES ('CE01','Central Norte','N','S',NULL,'M','2026-03-20')",
    "INSERT INTO FILIAL VALUES ('0001','EM Jardim','N','N','CE01','F','2026-03-16')",
    "INSERT INTO FILIAL VALUES ('0002','EM Rescindida','S','N','CE01','F','2026-03-16')",
    "INSERT INTO FILIAL VALUES ('0003','EM Avulsa','N','N',NULL,'F',NULL)",
    "INSERT INTO FILIAL VALUES ('0004','EM Sem Tipo','N','N','CE01',NULL,NULL)",
    "CREATE TABLE GRUPSERV (CDGRUPSERV VARCHAR(3) PRIMARY KEY, NMGRUPSERV VARCHAR(30))",
    "INSERT INTO GRUPSERV VALUES ('002','Refeições')",
    "INSERT INTO GRUPSERV VALUES ('001','Lanches')",
};

TestHost::TestHost(int serverPort, const QString &branch, const std::function<void(host::ClientConfig &)> &configure)
{
    if (!m_dir.isValid())
        throw std::runtime_error("no temporary directory");
    const QString path = m_dir.filePath(QStringLiteral("geral.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("testhost-setup"));
        db.setDatabaseName(path);
        db.open();
        for (const char *statement : kSchemaAndRows) {
            QSqlQuery query(db);
            if (!query.exec(QString::fromUtf8(statement)))
                throw std::runtime_error(query.lastError().text().toStdString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("testhost-setup"));

    config.branch = branch;
    config.operatorCode = QStringLiteral("OP01");
    config.serverHost = QStringLiteral("127.0.0.1");
    config.serverPort = serverPort;
    config.token = QStringLiteral("test-token");
    databaseUrl = QStringLiteral("sqlite:") + path;
    if (configure)
        configure(config);
    database = std::make_unique<host::TdtmDBGeral>();
    database->open(*wire::DatabaseUrl::parse(databaseUrl));
    session = std::make_unique<host::HostSession>(config, database.get());
    services = std::make_unique<host::HostServices>(ui, *session, *database);
}

void TestHost::exec(const QStringList &statements)
{
    if (statements.isEmpty())
        return;
    const QString path = m_dir.filePath(QStringLiteral("geral.db"));
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("testhost-exec"));
        db.setDatabaseName(path);
        db.open();
        for (const QString &statement : statements) {
            QSqlQuery query(db);
            if (!query.exec(statement))
                throw std::runtime_error(query.lastError().text().toStdString());
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("testhost-exec"));
}
