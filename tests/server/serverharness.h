#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonObject>
#include <QProcess>
#include <QSqlDatabase>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>

// Talks to the real zub-server process over loopback, as any client would.
namespace harness {

struct HttpReply {
    int status = 0;          // 0 when the connection failed or closed without an answer
    QByteArray body;
    QJsonObject json() const;
};

// A socket connected to the loopback port, or -1.
// From 127.0.0.<sourceHost> when given, so tests can be several clients.
int connectLoopback(quint16 port, int sourceHost = 0);

// Sends raw bytes and reads until the server closes. Plain sockets, so threads may use it freely.
// With halfClose the sending side is closed after the request, as a client with nothing more to say.
HttpReply exchange(quint16 port, const QByteArray &request, int timeoutMs = 60000, bool halfClose = false);

QByteArray post(const QString &path, const QByteArray &body, const QByteArray &token, const QByteArray &extraHeaders = {});
QByteArray rpcBody(const QString &method, const QJsonArray &params, int id = 1);

// Runs zub-server to completion (for --create-demo and command-line checks), with `input` on
// its standard input (closed after it).
int runTool(const QStringList &arguments, QString *output = nullptr, const QByteArray &input = {});

// A zub-server serving on a free loopback port until stopped.
class ServerProcess
{
public:
    ServerProcess() = default;
    ~ServerProcess();

    bool start(const QString &database, const QByteArray &token, const QStringList &extraArguments, QString *error);
    // SIGTERM and wait; the exit code (-1 when it did not end or crashed).
    int stop();
    bool isRunning() const { return m_process.state() == QProcess::Running; }
    quint16 port() const { return m_port; }
    QString output();

    // Full JSON-RPC response object of one call.
    QJsonObject call(const QString &object, const QString &method, const QJsonArray &params);
    // The same with another bearer token (an operator's session; empty for none).
    QJsonObject callWith(const QByteArray &token, const QString &object, const QString &method, const QJsonArray &params);
    // The token of a new session of the operator, or empty when the sign-in is refused.
    QByteArray signIn(const QString &code, const QString &password);

private:
    QProcess m_process;
    QTemporaryDir m_dir;
    QByteArray m_token;
    quint16 m_port = 0;
    QString m_output;
};

inline const QString kPlanObject = QStringLiteral("Zub01100.rdmCustoPlanXReal");
inline const QString kCostObject = QStringLiteral("Cus00000.rdmCustProd");
inline const QString kGeneralDataObject = QStringLiteral("Ger00000.rdmDadosGerais");

// A throwaway PostgreSQL database for one test run: a fresh database in the cluster named by
// ZUB_TEST_POSTGRES_URL, or in a cluster started here with db/pgcluster when that is unset.
class PostgresScratch
{
public:
    ~PostgresScratch();
    // The URL of the fresh database, or empty with the reason in *why.
    QString open(QString *why);

private:
    QString m_adminUrl;
    QString m_database;
    QString m_clusterDir;
    QTemporaryDir m_dir;
};

// A connection of the test's own to the run's database (to check or age rows), under `name`;
// open() tells whether it worked.
QSqlDatabase openDatabase(const QString &url, const QString &name);

// The database of one test run: a fresh PostgreSQL database (see PostgresScratch) or a SQLite
// file in `dir`. Empty with the reason in *why when PostgreSQL is not at hand.
QString testDatabaseUrl(bool postgres, PostgresScratch &scratch, const QTemporaryDir &dir, QString *why);

} // namespace harness
