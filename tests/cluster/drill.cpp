// The failover drill's side of the clients: operators running the whole report cycle through
// HAProxy while an application server and then the database primary are killed and brought back,
// and then the new primary is frozen past Patroni's TTL and let go (a machine that paused).
//
//   zub-drill --port HAPROXY_PORT --database URL --clients 20
//             --kill-app CMD --kill-db CMD --restore CMD [--freeze-db CMD --thaw-db CMD]
//   zub-drill --port HAPROXY_PORT --database URL --clients 20 --measure SECONDS
//             (the throughput of the whole cycle, nothing killed)
//
// Each cycle's figures are set against sums read straight from the day rows; every write a caller
// was told had worked (operators, saved filters, the audit of each preparation) is looked for at
// the end, and so are plans and lists still stored once the servers' sweep has run. Ends with one
// line, "drill: completed N, ended M, wrong W, lost L, leftovers X, app-failover S s,
// db-failover T s[, freeze-failover F s]", and fails when a figure was wrong, a write was lost,
// something was left over or the database took longer than 30 s to come back.
#include "serverharness.h"
#include "wire/periodparts.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QProcess>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>

#include <atomic>
#include <cmath>
#include <cstdio>
#include <mutex>
#include <thread>

namespace {

const QString kPlanObject = harness::kPlanObject;
constexpr int kLongestDbFailoverSeconds = 30;

struct Reply {
    QJsonObject response;
    int status = 0;

    QJsonValue answer() const { return response.value("result").toObject().value("answer"); }
    QJsonValue data() const { return answer().toObject().value("data"); }
    bool ok() const { return answer().toObject().value("ok").toBool(); }
    // What a user would have been shown: the server's message, or what the transport did.
    QString message() const
    {
        const QString error = response.value("error").toObject().value("message").toString();
        if (!error.isEmpty())
            return error;
        const QString refusal = answer().toObject().value("message").toString();
        if (!refusal.isEmpty())
            return refusal;
        return status == 0 ? QStringLiteral("sem resposta") : QStringLiteral("HTTP %1").arg(status);
    }
};

Reply call(quint16 port, const QByteArray &token, const QString &object, const QString &method, const QJsonArray &params)
{
    const harness::HttpReply reply = harness::exchange(port, harness::post("/rpc/" + object, harness::rpcBody(method, params), token), 120000);
    return {reply.json(), reply.status};
}

// One client's report: two schools over one month, and what the day rows say it must show.
struct Scope {
    QString branches; // "_0101_0102_"
    QString first, last;
    double planned = 0, used = 0;
};

QVariant scalar(QSqlDatabase &db, const QString &sql, const QVariantList &values = {})
{
    QSqlQuery query(db);
    query.prepare(sql);
    for (const QVariant &value : values)
        query.addBindValue(value);
    if (!query.exec() || !query.next())
        throw std::runtime_error(qPrintable(QStringLiteral("%1: %2").arg(sql.left(60), query.lastError().text())));
    return query.value(0);
}

Scope scopeOf(QSqlDatabase &db, int client)
{
    Scope scope;
    const QString a = QStringLiteral("%1").arg(101 + client % 14, 4, 10, QLatin1Char('0'));
    const QString b = QStringLiteral("%1").arg(101 + (client + 5) % 14, 4, 10, QLatin1Char('0'));
    const QDate first(2025, 1 + client % 4, 1);
    scope.branches = QStringLiteral("_%1_%2_").arg(a, b);
    scope.first = first.toString(Qt::ISODate);
    scope.last = first.addMonths(1).addDays(-1).toString(Qt::ISODate);
    const QVariantList where{a, b, first, first.addMonths(1).addDays(-1)};
    scope.planned = scalar(db, "SELECT COALESCE(SUM(R.QTREFEPLAN * C.QTPERCAPITA), 0) FROM REFEPLAN R JOIN ITCARDAPIO C ON C.CDCARDAPIO = R.CDCARDAPIO"
                               " WHERE R.CDFILIAL IN (?, ?) AND R.DTREFEICAO BETWEEN ? AND ?", where).toDouble();
    scope.used = scalar(db, "SELECT COALESCE(SUM(QTCONSUMIDA), 0) FROM CONSREAL WHERE CDFILIAL IN (?, ?) AND DTREFEICAO BETWEEN ? AND ?", where).toDouble();
    return scope;
}

bool same(double a, double b)
{
    return std::fabs(a - b) <= 1e-6 * qMax(1.0, std::fabs(b));
}

// The sum of one column over the rows of a data packet.
double columnSum(const QJsonObject &packet, const QString &column)
{
    const QJsonArray fields = packet.value("fields").toArray();
    int at = -1;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].toObject().value("name").toString() == column)
            at = i;
    }
    double sum = 0;
    for (const QJsonValue &row : packet.value("rows").toArray())
        sum += at < 0 ? NAN : row.toArray().at(at).toDouble();
    return sum;
}

struct Tally {
    std::mutex mutex;
    int completed = 0, ended = 0, wrong = 0;
    QStringList endings;            // a few of the messages the ended cycles were shown
    QStringList savedFilters;       // operator code, filter name: acknowledged
    QStringList plans;              // acknowledged preparations, whose audit row must be there
    QStringList operators;          // acknowledged by --add-operator

    bool end(const QString &message)
    {
        std::lock_guard lock(mutex);
        ++ended;
        if (endings.size() < 8 && !endings.contains(message))
            endings << message;
        return false;
    }
};

class Client
{
public:
    Client(quint16 port, QByteArray token, QString code, Scope scope, Tally &tally)
        : m_port(port), m_token(std::move(token)), m_code(std::move(code)), m_scope(std::move(scope)), m_tally(tally) {}

    // False when the cycle ended before its figures, with the message the user would have read.
    bool cycle(int round)
    {
        const Reply lists = callServer(kPlanObject, "getListas", {"T", "T", "0001", m_scope.branches});
        if (!lists.ok())
            return m_tally.end(lists.message());
        const QJsonArray numbers = lists.data().toArray();
        const Reply plan = callServer(kPlanObject, "ExecStpConsPlan",
                                      {"0001", "", m_scope.branches, "", m_scope.first, m_scope.last, "0", "zzzzzzzzzz", m_code});
        const QString number = plan.answer().toString();
        if (number.size() != 10) {
            cleanUp({}, numbers);
            return m_tally.end(plan.answer().isString() ? number : plan.message());
        }
        {
            std::lock_guard lock(m_tally.mutex);
            m_tally.plans << number;
        }
        QJsonObject parameters{{"P_NRCONSPLAN", number},       {"P_LISTASERVICO", numbers[0]}, {"P_LISTATIPOCARD", numbers[1]},
                               {"P_NRLISTAFILI", numbers[2]},  {"P_IDESTOCAVEIS", "S"},        {"P_IDNESTOCAVEIS", "S"},
                               {"P_NIVEL", "N"},               {"P_NRTIPOCUSTO", 1},           {"P_NRTAMACNIVEL", 0}};
        for (const auto &[name, day] : wire::periodPartParameters(QDate::fromString(m_scope.first, Qt::ISODate), QDate::fromString(m_scope.last, Qt::ISODate)))
            parameters.insert(name, day.toString(Qt::ISODate));
        const Reply rows = callServer(harness::kGeneralDataObject, "DadosRelatorio", {"ZUB011", "01-por-servico.json", "dados", parameters});
        if (!rows.ok()) {
            cleanUp(number, numbers);
            return m_tally.end(rows.message());
        }
        const QJsonObject packet = rows.data().toObject();
        const bool right = same(columnSum(packet, "QTPLAN"), m_scope.planned) && same(columnSum(packet, "QTREAL"), m_scope.used);
        const QString filter = QStringLiteral("exercício %1").arg(round);
        const Reply saved = callServer(kPlanObject, "SalvaFiltro", {filter, QJsonObject{{"filiais", m_scope.branches}}, "N"});
        cleanUp(number, numbers);
        std::lock_guard lock(m_tally.mutex);
        if (right) {
            ++m_tally.completed;
        } else {
            ++m_tally.wrong;
            std::fprintf(stderr, "drill: %s %s..%s: planejado %.3f (esperado %.3f), realizado %.3f (esperado %.3f)\n", qPrintable(m_scope.branches),
                         qPrintable(m_scope.first), qPrintable(m_scope.last), columnSum(packet, "QTPLAN"), m_scope.planned,
                         columnSum(packet, "QTREAL"), m_scope.used);
        }
        if (saved.ok())
            m_tally.savedFilters << m_code + QLatin1Char('\t') + filter;
        return true;
    }

private:
    Reply callServer(const QString &object, const QString &method, const QJsonArray &params)
    {
        return call(m_port, m_token, object, method, params);
    }

    // What the screen does after a report, ended or not; the sweep takes what this cannot.
    void cleanUp(const QString &plan, const QJsonArray &lists)
    {
        if (!plan.isEmpty())
            callServer(kPlanObject, "DelConsPlan", {"", plan});
        callServer(kPlanObject, "deletaListas", {lists});
    }

    quint16 m_port;
    QByteArray m_token;
    QString m_code;
    Scope m_scope;
    Tally &m_tally;
};

QString operatorCode(int n)
{
    return QStringLiteral("EXER%1").arg(n, 3, 10, QLatin1Char('0'));
}

bool addOperator(const QString &url, const QString &code)
{
    return harness::runTool({"--database", url, "--add-operator", code, "--name", "Operador do exercício " + code, "--branch", "0001", "--role", "central"},
                            nullptr, "exercicio-" + code.toUtf8() + "\n") == 0;
}

int runShell(const QString &command)
{
    return QProcess::execute(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command});
}

// Seconds until a write through the whole path (balancer, server, primary) is answered.
double secondsToFirstGoodAnswer(quint16 port, const QByteArray &token, const QElapsedTimer &since)
{
    const QDeadlineTimer limit(120000);
    while (!limit.hasExpired()) {
        const Reply lists = call(port, token, kPlanObject, "getListas", {"T", "T", "0001", "_0101_"});
        if (lists.ok()) {
            const double seconds = double(since.elapsed()) / 1000;
            call(port, token, kPlanObject, "deletaListas", {lists.data()});
            return seconds;
        }
        QThread::msleep(100);
    }
    return -1;
}

int countMissing(QSqlDatabase &db, const QStringList &keys, const QString &sql)
{
    int missing = 0;
    for (const QString &key : keys) {
        if (scalar(db, sql, [&] {
                QVariantList values;
                for (const QString &part : key.split(QLatin1Char('\t')))
                    values << part;
                return values;
            }()).toInt() == 0) {
            std::fprintf(stderr, "drill: perdido: %s\n", qPrintable(QString(key).replace(QLatin1Char('\t'), QLatin1Char(' '))));
            ++missing;
        }
    }
    return missing;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption port("port", "Porta do HAProxy dos servidores.", "porta");
    const QCommandLineOption database("database", "Banco (pelo HAProxy do primário), para as somas e a conferência.", "url");
    const QCommandLineOption clients("clients", "Clientes simultâneos (padrão 20).", "n", "20");
    const QCommandLineOption killApp("kill-app", "Comando que mata um servidor de aplicação.", "comando");
    const QCommandLineOption killDb("kill-db", "Comando que mata o primário.", "comando");
    const QCommandLineOption restore("restore", "Comando que traz de volta o que foi morto.", "comando");
    const QCommandLineOption freezeDb("freeze-db", "Comando que congela o primário (SIGSTOP) até --thaw-db.", "comando");
    const QCommandLineOption thawDb("thaw-db", "Comando que descongela o primário congelado (SIGCONT).", "comando");
    const QCommandLineOption measure("measure", "Só mede os ciclos por segundo durante N segundos, sem matar nada.", "segundos");
    parser.addOptions({port, database, clients, killApp, killDb, restore, freezeDb, thawDb, measure});
    parser.addHelpOption();
    parser.process(app);
    const quint16 serverPort = quint16(parser.value(port).toUInt());
    const QString url = parser.value(database);
    const int clientCount = qMax(1, parser.value(clients).toInt());

    Tally tally;
    QList<Scope> scopes;
    QSqlDatabase db = harness::openDatabase(url, "drill");
    try {
        if (!db.open())
            throw std::runtime_error(qPrintable(db.lastError().text()));
        for (int c = 0; c < clientCount; ++c) {
            scopes << scopeOf(db, c);
            if (!addOperator(url, operatorCode(c)))
                throw std::runtime_error(qPrintable("não foi possível criar o operador " + operatorCode(c)));
        }
    } catch (const std::exception &error) {
        std::fprintf(stderr, "drill: preparação: %s\n", error.what());
        return 1;
    }
    QList<QByteArray> tokens;
    for (int c = 0; c < clientCount; ++c) {
        const Reply session = call(serverPort, {}, "Sessao", "entrar", {operatorCode(c), "exercicio-" + operatorCode(c)});
        tokens << session.data().toObject().value("token").toString().toLatin1();
        if (tokens.last().isEmpty()) {
            std::fprintf(stderr, "drill: %s não entrou: %s\n", qPrintable(operatorCode(c)), qPrintable(session.message()));
            return 1;
        }
    }

    std::atomic<bool> running{true};
    std::vector<std::thread> threads;
    for (int c = 0; c < clientCount; ++c) {
        threads.emplace_back([&, c] {
            Client client(serverPort, tokens[c], operatorCode(c), scopes[c], tally);
            for (int round = 0; running; ++round) {
                // A user who was told to try again does so a moment later.
                if (!client.cycle(round))
                    QThread::sleep(1);
            }
        });
    }
    const auto settle = [&](int seconds) { QThread::sleep(seconds); };
    if (parser.isSet(measure)) {
        QElapsedTimer measured;
        measured.start();
        settle(parser.value(measure).toInt());
        running = false;
        for (std::thread &thread : threads)
            thread.join();
        const double seconds = double(measured.elapsed()) / 1000;
        std::printf("drill: %d clientes, %d ciclos completos em %.1f s: %.2f ciclos/s; errados %d, encerrados %d\n", clientCount, tally.completed,
                    seconds, tally.completed / seconds, tally.wrong, tally.ended);
        return tally.wrong == 0 && tally.ended == 0 ? 0 : 1;
    }
    // Operators are written all along, so some are written around each kill.
    threads.emplace_back([&] {
        for (int n = clientCount; running; ++n) {
            if (addOperator(url, operatorCode(n))) {
                std::lock_guard lock(tally.mutex);
                tally.operators << operatorCode(n);
            }
            QThread::msleep(300);
        }
    });

    settle(8);
    QElapsedTimer clock;
    clock.start();
    runShell(parser.value(killApp));
    const double appFailover = secondsToFirstGoodAnswer(serverPort, tokens[0], clock);
    settle(5);
    clock.restart();
    // A kill that did not happen (no primary with a synchronous standby) must not pass for a failover.
    const double dbFailover = runShell(parser.value(killDb)) == 0 ? secondsToFirstGoodAnswer(serverPort, tokens[0], clock) : -1;
    runShell(parser.value(restore));
    settle(15);
    // The primary pauses (a frozen machine) past the leader key's life: the standby takes over,
    // and the old primary, let go, must not have acknowledged anything the new one lacks.
    double freezeFailover = 0;
    if (parser.isSet(freezeDb)) {
        // Timed from the pause: the command first waits for a synchronous standby.
        const bool frozen = runShell(parser.value(freezeDb)) == 0;
        clock.restart();
        freezeFailover = frozen ? secondsToFirstGoodAnswer(serverPort, tokens[0], clock) : -1;
        if (runShell(parser.value(thawDb)) != 0)
            freezeFailover = -1;
        settle(15);
    }
    running = false;
    for (std::thread &thread : threads)
        thread.join();

    int lost = 0, leftovers = -1;
    try {
        // The test's connection was cut with the primary.
        db.close();
        if (!db.open())
            throw std::runtime_error(qPrintable(db.lastError().text()));
        lost += countMissing(db, tally.operators, "SELECT COUNT(*) FROM OPERADOR WHERE CDOPERADOR = ?");
        lost += countMissing(db, tally.savedFilters, "SELECT COUNT(*) FROM FILTROSALVO WHERE CDOPERADOR = ? AND NMFILTRO = ?");
        lost += countMissing(db, tally.plans, "SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'ExecStpConsPlan' AND NRCONSPLAN LIKE '%' || ? || '%'");
        // The servers sweep every 10 s what is older than 20 s.
        const QDeadlineTimer sweep(60000);
        while ((leftovers = scalar(db, "SELECT (SELECT COUNT(*) FROM CONSPLAN) + (SELECT COUNT(DISTINCT NRLISTA) FROM LISTA)").toInt()) > 0
               && !sweep.hasExpired())
            QThread::sleep(2);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "drill: conferência: %s\n", error.what());
        return 1;
    }
    for (const QString &ending : tally.endings)
        std::fprintf(stderr, "drill: encerrado com: %s\n", qPrintable(ending));
    std::printf("drill: completed %d, ended %d, wrong %d, lost %d, leftovers %d, app-failover %.1f s, db-failover %.1f s%s\n", tally.completed,
                tally.ended, tally.wrong, lost, leftovers, appFailover, dbFailover,
                parser.isSet(freezeDb) ? qPrintable(QStringLiteral(", freeze-failover %1 s").arg(freezeFailover, 0, 'f', 1)) : "");
    const auto failedOver = [](double seconds) { return seconds >= 0 && seconds <= kLongestDbFailoverSeconds; };
    const bool good = tally.completed > 0 && tally.wrong == 0 && lost == 0 && leftovers == 0 && appFailover >= 0 && failedOver(dbFailover)
                      && failedOver(freezeFailover);
    return good ? 0 : 1;
}
