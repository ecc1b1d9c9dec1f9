#include "server/audit.h"
#include "server/backup.h"
#include "server/custoplanxreal.h"
#include "server/custprod.h"
#include "server/savedfilters.h"
#include "server/database.h"
#include "server/demodata.h"
#include "server/generaldata.h"
#include "server/health.h"
#include "server/httpserver.h"
#include "server/operators.h"
#include "server/rpcdispatcher.h"
#include "server/schema.h"
#include "server/serverconfig.h"
#include "server/serverlog.h"
#include "server/sessions.h"
#include "server/sweeper.h"
#include "server/tls.h"
#include "wire/rpcmessage.h"
#include "wire/secretfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QSocketNotifier>
#include <QTimer>

#include <csignal>
#include <cstdio>
#include <sys/socket.h>
#include <termios.h>
#include <unistd.h>

using namespace server;

namespace {

int signalSockets[2] = {-1, -1};

void onTerminationSignal(int)
{
    const char byte = 1;
    [[maybe_unused]] const auto written = ::write(signalSockets[1], &byte, 1);
}

// SIGTERM and SIGINT end the event loop from a safe place instead of killing mid-request.
void installSignalHandlers(QCoreApplication &app)
{
    if (::socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, signalSockets) != 0)
        return;
    auto *notifier = new QSocketNotifier(signalSockets[0], QSocketNotifier::Read, &app);
    QObject::connect(notifier, &QSocketNotifier::activated, &app, [&app] {
        char byte;
        [[maybe_unused]] const auto read = ::read(signalSockets[0], &byte, 1);
        app.quit();
    });
    struct sigaction action = {};
    action.sa_handler = onTerminationSignal;
    sigemptyset(&action.sa_mask);
    action.sa_flags = SA_RESTART;
    sigaction(SIGTERM, &action, nullptr);
    sigaction(SIGINT, &action, nullptr);
}

void say(std::FILE *stream, const QString &text)
{
    std::fprintf(stream, "%s\n", text.toLocal8Bit().constData());
    std::fflush(stream);
}

constexpr int kMaxTokenLength = 4096;

// The bearer token, or nothing with the reason in *error. Like ssh with its keys, a file others
// may read is refused: the token opens every call.
std::optional<QByteArray> readToken(const QString &path, QString *error)
{
    const auto content = wire::readOwnerOnlyFile(path, QStringLiteral("arquivo da credencial"), 2 * kMaxTokenLength, error);
    if (!content)
        return std::nullopt;
    const QByteArray token = content->trimmed();
    if (token.size() > kMaxTokenLength) {
        *error = QStringLiteral("A credencial em %1 passa de %2 caracteres; gere uma mais curta.").arg(path).arg(kMaxTokenLength);
        return std::nullopt;
    }
    if (token.size() < 16) {
        *error = QStringLiteral("A credencial em %1 tem menos de 16 caracteres; gere uma mais longa.").arg(path);
        return std::nullopt;
    }
    return token;
}

// On the thread's own connection, reopened after a failure: a database restart must not stop
// the sweeps for the rest of the server's life.
void sweep(const ServerConfig &config)
{
    try {
        QSqlDatabase db = threadConnection(config.database);
        const QDateTime now = QDateTime::currentDateTimeUtc();
        const SweepResult result = sweepTemporaryData(db, now.addSecs(-config.sweepAgeSeconds),
                                                      config.auditRetentionDays > 0 ? now.addDays(-config.auditRetentionDays) : QDateTime());
        if (result.plans > 0 || result.listRows > 0)
            say(stdout, QStringLiteral("zub-server: removidos %1 plano(s) e %2 linha(s) de listas antigos.").arg(result.plans).arg(result.listRows));
        if (result.auditRows > 0)
            say(stdout, QStringLiteral("zub-server: removidas %1 linha(s) da auditoria com mais de %2 dia(s).").arg(result.auditRows).arg(config.auditRetentionDays));
    } catch (const DbError &error) {
        dropThreadConnection();
        say(stderr, QStringLiteral("zub-server: %1").arg(error.message));
    }
}

int createDemoDatabase(QSqlDatabase &db, const ServerConfig &config)
{
    QElapsedTimer timer;
    timer.start();
    dropSchema(db);
    ensureSchema(db);
    const DemoSummary summary = createDemo(db, config.demo);
    addDemoOperators(db);
    say(stdout, QStringLiteral("zub-server: banco de demonstração criado em %1 (%2) em %3 s.")
                    .arg(config.database.url.display(), summary.describe())
                    .arg(timer.elapsed() / 1000.0, 0, 'f', 1));
    return 0;
}

// ---- operators and audit: commands that run and exit
// A password is never an argument (other users see those): read from a terminal with the echo
// off, or as the first line of a pipe.
QString readPassword()
{
    const bool terminal = ::isatty(STDIN_FILENO);
    termios saved {};
    if (terminal) {
        std::fprintf(stderr, "Senha: ");
        std::fflush(stderr);
        ::tcgetattr(STDIN_FILENO, &saved);
        termios quiet = saved;
        quiet.c_lflag &= ~tcflag_t(ECHO);
        ::tcsetattr(STDIN_FILENO, TCSANOW, &quiet);
    }
    QFile input;
    input.open(stdin, QIODevice::ReadOnly);
    QByteArray line = input.readLine(4096);
    if (terminal) {
        ::tcsetattr(STDIN_FILENO, TCSANOW, &saved);
        std::fprintf(stderr, "\n");
    }
    while (line.endsWith('\n') || line.endsWith('\r'))
        line.chop(1);
    return QString::fromUtf8(line);
}

int administer(QSqlDatabase &db, const ServerConfig &config)
{
    ensureSchema(db);
    const OperatorRecord &account = config.operatorAccount;
    QString problem;
    switch (config.admin) {
    case ServerConfig::Admin::AddOperator:
        problem = addOperator(db, account, readPassword());
        break;
    case ServerConfig::Admin::SetPassword:
        problem = setOperatorPassword(db, account.code, readPassword());
        break;
    case ServerConfig::Admin::DisableOperator:
        problem = disableOperator(db, account.code);
        break;
    case ServerConfig::Admin::ListOperators:
        for (const OperatorRecord &record : listOperators(db)) {
            const bool locked = record.lockedUntil.isValid() && record.lockedUntil > QDateTime::currentDateTimeUtc();
            say(stdout, QStringLiteral("%1  %2  filial %3  %4%5%6")
                            .arg(record.code.leftJustified(kOperatorCodeWidth), record.name.leftJustified(30), record.branch, roleName(record.role),
                                 record.active ? QString() : QStringLiteral("  desativado"),
                                 locked ? QStringLiteral("  bloqueado até %1").arg(record.lockedUntil.toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm")))
                                        : QString()));
        }
        return 0;
    case ServerConfig::Admin::Audit:
        for (const AuditEntry &entry : readAudit(db, config.auditSince.isValid() ? config.auditSince : QDateTime::fromSecsSinceEpoch(0, Qt::UTC)))
            say(stdout, describe(entry));
        return 0;
    case ServerConfig::Admin::None:
        break;
    }
    if (!problem.isEmpty()) {
        say(stderr, QStringLiteral("zub-server: %1").arg(problem));
        return 1;
    }
    say(stdout, QStringLiteral("zub-server: operador %1 atualizado.").arg(account.code));
    return 0;
}
// ---- end of operators and audit

// The layouts whose queries the server runs: as configured, else beside the program (a build
// tree), else where the package installs them.
QString reportsFolder(const QString &configured)
{
    if (!configured.isEmpty())
        return configured;
    const QDir program(QCoreApplication::applicationDirPath());
    return program.exists(QStringLiteral("reports")) ? program.filePath(QStringLiteral("reports"))
                                                     : QDir::cleanPath(program.filePath(QStringLiteral("../share/zub-server/reports")));
}

int serve(QCoreApplication &app, QSqlDatabase &db, const ServerConfig &config)
{
    QString error;
    std::optional<QByteArray> token = QByteArray();
    if (!config.tokenFile.isEmpty())
        token = readToken(config.tokenFile, &error);
    if (!token) {
        say(stderr, QStringLiteral("zub-server: %1").arg(error));
        return 1;
    }
    ensureSchema(db);
    sweep(config);

    RpcDispatcher dispatcher;
    const CustoPlanXReal custoPlanXReal(config.database);
    const CustProd custProd(config.database);
    // Saved filters and school years are the report's too: one connection of the screen reaches them.
    const SavedFilters savedFilters(config.database);
    dispatcher.addObject(QString::fromLatin1(kCustoPlanXRealObject), custoPlanXReal.methods() + savedFilters.methods());
    dispatcher.addObject(QString::fromLatin1(kCustProdObject), custProd.methods());

    const GeneralData generalData(config.database, reportsFolder(config.reportsDir));
    dispatcher.addObject(QString::fromLatin1(wire::kGeneralDataObject), generalData.methods());

    const SessionStore sessions(config.database, config.sessions);
    dispatcher.addObject(QString::fromLatin1(kSessionObject), sessions.methods());

    // Outlives the HTTP server, so the rows of the last calls are written before the end.
    AuditWriter auditWriter(config.database, config.auditSpool.isEmpty() ? defaultAuditSpool(config.database) : config.auditSpool);
    HttpServer http(dispatcher, *token, config.limits);
    http.setHealthCheck([&config] { return checkDatabaseHealth(config.database); });
    if (!config.tlsCertFile.isEmpty()) {
        const std::optional<TlsCredentials> tls = readTlsCredentials(config.tlsCertFile, config.tlsKeyFile, &error);
        if (!tls) {
            say(stderr, QStringLiteral("zub-server: %1").arg(error));
            return 1;
        }
        http.setTls(tls->certificatePem, tls->keyPem);
    }
    http.setSessions(&sessions);
    http.setTrustedProxy(config.trustedProxy);
    if (!http.start(config.address, config.port, &error)) {
        say(stderr, QStringLiteral("zub-server: %1").arg(error));
        return 1;
    }
    installSignalHandlers(app);
    QTimer sweeper;
    QObject::connect(&sweeper, &QTimer::timeout, &app, [&config] { sweep(config); });
    sweeper.start(int(config.sweepIntervalSeconds() * 1000));

    const QString host = config.address.protocol() == QAbstractSocket::IPv6Protocol ? QStringLiteral("[%1]").arg(config.address.toString())
                                                                                     : config.address.toString();
    say(stdout, QStringLiteral("zub-server: atendendo em %4://%1:%2/rpc/ (banco %3)").arg(host).arg(http.port()).arg(config.database.url.display(), http.usesTls() ? QStringLiteral("https") : QStringLiteral("http")));
    app.exec();
    http.stop();
    say(stdout, QStringLiteral("zub-server: encerrado."));
    return 0;
}

// ---- --backup ----
int backupDatabase(const ServerConfig &config)
{
    if (config.database.url.kind != wire::DatabaseUrl::Kind::Sqlite) {
        say(stderr, QStringLiteral("zub-server: --backup copia bancos SQLite; para o PostgreSQL use pg_dump (veja o README)."));
        return 2;
    }
    QElapsedTimer timer;
    timer.start();
    try {
        const BackupResult copy = backupSqlite(config.database.url.path, config.backupFile, config.database.busyTimeoutMs);
        say(stdout, QStringLiteral("zub-server: cópia de %1 gravada em %2 (%3 páginas, %4 bytes) em %5 s.")
                        .arg(config.database.url.display(), config.backupFile)
                        .arg(copy.pages)
                        .arg(copy.bytes)
                        .arg(timer.elapsed() / 1000.0, 0, 'f', 1));
        return 0;
    } catch (const DbError &error) {
        say(stderr, QStringLiteral("zub-server: %1").arg(error.message));
        return 1;
    }
}
// ---- end of --backup ----

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCoreApplication::setApplicationName(QStringLiteral("zub-server"));

    QString output;
    int exitCode = 0;
    const auto config = ServerConfig::fromArguments(QCoreApplication::arguments(), &output, &exitCode);
    if (!config) {
        say(exitCode == 0 ? stdout : stderr, output);
        return exitCode;
    }
    setLogLevel(config->logLevel);
    if (!config->backupFile.isEmpty())
        return backupDatabase(*config);
    int result = 1;
    try {
        QSqlDatabase db = openConnection(config->database, QStringLiteral("zub-main"));
        result = config->createDemo                          ? createDemoDatabase(db, *config)
            : config->admin != ServerConfig::Admin::None ? administer(db, *config)
                                                         : serve(app, db, *config);
        db.close();
    } catch (const DbError &error) {
        say(stderr, QStringLiteral("zub-server: %1").arg(error.message));
    }
    QSqlDatabase::removeDatabase(QStringLiteral("zub-main"));
    return result;
}
