#include "serverharness.h"

#include "wire/databaseurl.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QTcpServer>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

namespace harness {

QJsonObject HttpReply::json() const
{
    return QJsonDocument::fromJson(body).object();
}

int connectLoopback(quint16 port, int sourceHost)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (fd < 0)
        return -1;
    if (sourceHost > 0) {
        sockaddr_in source{};
        source.sin_family = AF_INET;
        source.sin_addr.s_addr = htonl((127u << 24) | unsigned(sourceHost));
        if (::bind(fd, reinterpret_cast<sockaddr *>(&source), sizeof source) != 0) {
            ::close(fd);
            return -1;
        }
    }
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

HttpReply exchange(quint16 port, const QByteArray &request, int timeoutMs, bool halfClose)
{
    HttpReply reply;
    const int fd = connectLoopback(port);
    if (fd < 0)
        return reply;
    // The server may answer and close before it read everything (a refused body): stop sending then.
    for (qsizetype sent = 0; sent < request.size();) {
        const ssize_t n = ::send(fd, request.constData() + sent, size_t(request.size() - sent), MSG_NOSIGNAL);
        if (n <= 0)
            break;
        sent += n;
    }
    if (halfClose)
        ::shutdown(fd, SHUT_WR);
    QByteArray data;
    const QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        pollfd p{fd, POLLIN, 0};
        if (::poll(&p, 1, int(qMin<qint64>(deadline.remainingTime(), 1000))) <= 0)
            continue;
        char buffer[65536];
        const ssize_t n = ::recv(fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        data.append(buffer, n);
    }
    ::close(fd);
    const qsizetype headerEnd = data.indexOf("\r\n\r\n");
    if (!data.startsWith("HTTP/1.") || headerEnd < 0)
        return reply;
    reply.status = data.mid(9, 3).toInt();
    reply.body = data.mid(headerEnd + 4);
    return reply;
}

QByteArray post(const QString &path, const QByteArray &body, const QByteArray &token, const QByteArray &extraHeaders)
{
    QByteArray request = "POST " + path.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nContent-Type: application/json\r\n";
    if (!token.isEmpty())
        request += "Authorization: Bearer " + token + "\r\n";
    request += extraHeaders;
    if (!extraHeaders.contains("Transfer-Encoding"))
        request += "Content-Length: " + QByteArray::number(body.size()) + "\r\n";
    request += "Connection: close\r\n\r\n" + body;
    return request;
}

QByteArray rpcBody(const QString &method, const QJsonArray &params, int id)
{
    return QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}}).toJson(QJsonDocument::Compact);
}

int runTool(const QStringList &arguments, QString *output, const QByteArray &input)
{
    QProcess process;
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral(ZUB_SERVER_BINARY), arguments);
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(600000))
        return -1;
    if (output)
        *output = QString::fromUtf8(process.readAll());
    return process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1;
}

ServerProcess::~ServerProcess()
{
    stop();
}

bool ServerProcess::start(const QString &database, const QByteArray &token, const QStringList &extraArguments, QString *error)
{
    m_token = token;
    m_output.clear();
    m_port = 0;
    const QString tokenFile = m_dir.filePath(QStringLiteral("token"));
    QFile file(tokenFile);
    // The server refuses a token file that others may read.
    if (!file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner) || file.write(token) != token.size()) {
        *error = QStringLiteral("cannot write the token file");
        return false;
    }
    file.close();
    // The server writes a line per call: into a file, so that a test that reads none of it
    // never blocks the server on a full pipe.
    const QString logFile = m_dir.filePath(QStringLiteral("server.log"));
    QFile::remove(logFile);
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.setStandardOutputFile(logFile);
    m_process.start(QStringLiteral(ZUB_SERVER_BINARY),
                    QStringList{"--database", database, "--listen", "127.0.0.1:0", "--token-file", tokenFile} + extraArguments);
    static const QRegularExpression listening(QStringLiteral("atendendo em https?://127\\.0\\.0\\.1:(\\d+)/"));
    const QDeadlineTimer deadline(60000);
    while (!deadline.hasExpired()) {
        const auto match = listening.match(output());
        if (match.hasMatch()) {
            m_port = quint16(match.captured(1).toUInt());
            return true;
        }
        if (m_process.state() == QProcess::NotRunning || m_process.waitForFinished(50))
            break;
    }
    *error = QStringLiteral("zub-server did not start: ") + output();
    return false;
}

int ServerProcess::stop()
{
    if (m_process.state() == QProcess::NotRunning)
        return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
    m_process.terminate();
    if (!m_process.waitForFinished(30000)) {
        m_process.kill();
        m_process.waitForFinished();
        return -1;
    }
    return m_process.exitStatus() == QProcess::NormalExit ? m_process.exitCode() : -1;
}

QString ServerProcess::output()
{
    QFile log(m_dir.filePath(QStringLiteral("server.log")));
    if (log.open(QIODevice::ReadOnly))
        m_output = QString::fromUtf8(log.readAll());
    return m_output;
}

QJsonObject ServerProcess::call(const QString &object, const QString &method, const QJsonArray &params)
{
    return callWith(m_token, object, method, params);
}

QJsonObject ServerProcess::callWith(const QByteArray &token, const QString &object, const QString &method, const QJsonArray &params)
{
    return exchange(m_port, post(QStringLiteral("/rpc/") + object, rpcBody(method, params), token)).json();
}

QByteArray ServerProcess::signIn(const QString &code, const QString &password)
{
    const QJsonObject answer = callWith({}, QStringLiteral("Sessao"), QStringLiteral("entrar"), {code, password})
                                   .value(QStringLiteral("result")).toObject().value(QStringLiteral("answer")).toObject();
    return answer.value(QStringLiteral("data")).toObject().value(QStringLiteral("token")).toString().toLatin1();
}

static quint16 freePort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort();
}

// Runs one statement on an administrative connection to the cluster.
static bool adminExec(const QString &url, const QString &statement, QString *why)
{
    const auto parsed = wire::DatabaseUrl::parse(url, why);
    if (!parsed)
        return false;
    bool ok = false;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), QStringLiteral("harness-admin"));
        parsed->applyTo(db);
        if (!db.open()) {
            *why = db.lastError().text();
        } else {
            QSqlQuery query(db);
            ok = query.exec(statement);
            if (!ok)
                *why = query.lastError().text();
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("harness-admin"));
    return ok;
}

QString PostgresScratch::open(QString *why)
{
    m_adminUrl = qEnvironmentVariable("ZUB_TEST_POSTGRES_URL");
    if (m_adminUrl.isEmpty()) {
        QFile::setPermissions(m_dir.path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner
                                                | QFileDevice::ReadOther | QFileDevice::ExeOther | QFileDevice::ReadGroup | QFileDevice::ExeGroup);
        m_clusterDir = m_dir.filePath(QStringLiteral("pg"));
        QProcess cluster;
        cluster.start(QStringLiteral(ZUB_SOURCE_DIR "/db/pgcluster"), {QStringLiteral("start"), m_clusterDir, QString::number(freePort())});
        cluster.waitForFinished(120000);
        if (cluster.exitStatus() != QProcess::NormalExit || cluster.exitCode() != 0) {
            *why = QStringLiteral("no PostgreSQL: ZUB_TEST_POSTGRES_URL is unset and db/pgcluster could not start one (%1)")
                       .arg(QString::fromUtf8(cluster.readAllStandardError()).trimmed());
            m_clusterDir.clear();
            return {};
        }
        m_adminUrl = QString::fromUtf8(cluster.readAllStandardOutput()).trimmed();
    }
    const QString name = QStringLiteral("zubtest_%1").arg(QCoreApplication::applicationPid());
    if (!adminExec(m_adminUrl, QStringLiteral("CREATE DATABASE %1").arg(name), why)) {
        *why = QStringLiteral("cannot create a test database in %1: %2").arg(m_adminUrl, *why);
        return {};
    }
    m_database = name;
    QString url = m_adminUrl;
    url.replace(QRegularExpression(QStringLiteral("/[^/]*$")), QLatin1Char('/') + name);
    return url;
}

QString testDatabaseUrl(bool postgres, PostgresScratch &scratch, const QTemporaryDir &dir, QString *why)
{
    if (postgres)
        return scratch.open(why);
    if (!dir.isValid()) {
        *why = QStringLiteral("no temporary folder");
        return {};
    }
    return QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("demo.db"));
}

PostgresScratch::~PostgresScratch()
{
    QString why;
    if (!m_database.isEmpty())
        adminExec(m_adminUrl, QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(m_database), &why);
    if (!m_clusterDir.isEmpty()) {
        QProcess::execute(QStringLiteral(ZUB_SOURCE_DIR "/db/pgcluster"), {QStringLiteral("stop"), m_clusterDir});
    }
}

QSqlDatabase openDatabase(const QString &url, const QString &name)
{
    const auto parsed = wire::DatabaseUrl::parse(url);
    QSqlDatabase db = QSqlDatabase::addDatabase(parsed ? parsed->qtDriver() : QStringLiteral("QSQLITE"), name);
    if (parsed)
        parsed->applyTo(db);
    return db;
}

} // namespace harness
