// Load on the real zub-server: what callers wait for while the server is busy or attacked.
//
//   zub-serverload lanes --database sqlite:/tmp/zub300.db [--preparations 4] [--seconds 30]
//       ping and lookup latency while year-long preparations run without pause
//   zub-serverload cycle --database sqlite:/tmp/zubdemo.db [--clients 100] [--rounds 5]
//       clients each running getListas, ExecStpConsPlan, DelConsPlan, deletaListas in a loop; then
//       the same clients' plain query of the result straight from the database, as yardstick
//   zub-serverload flood --database sqlite:/tmp/zubdemo.db [--rate 50] [--seconds 60]
//       connections that send a request line and close, while ping is measured
//   zub-serverload signins --database sqlite:/tmp/zubdemo.db [--clients 32] [--seconds 30]
//       loops of a school's valid sign-in and sign-out, while ping and lookups are measured
//
// The database must hold the demo data (zub-server --create-demo [--branches 300]).
#include "plainquery.h"
#include "serverharness.h"
#include "wire/databaseurl.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QThread>

#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <functional>
#include <mutex>
#include <thread>
#include <tuple>

namespace {

const QByteArray kToken = "token-do-teste-de-carga-0123456789";
const QString kPlanObject = QStringLiteral("Zub01100.rdmCustoPlanXReal");

void say(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

// Latencies of one kind of call, and how many failed.
struct Latencies {
    std::mutex mutex;
    QList<double> ms;
    int failed = 0;
    int busy = 0;

    void add(double value, bool ok, bool wasBusy)
    {
        std::lock_guard lock(mutex);
        ms << value;
        failed += ok ? 0 : 1;
        busy += wasBusy ? 1 : 0;
    }
    double percentile(double p)
    {
        std::lock_guard lock(mutex);
        if (ms.isEmpty())
            return 0;
        QList<double> sorted = ms;
        std::sort(sorted.begin(), sorted.end());
        return sorted[qMin(sorted.size() - 1, qsizetype(p * double(sorted.size())))];
    }
    QString summary(const QString &name)
    {
        const double p50 = percentile(0.50), p99 = percentile(0.99), max = percentile(1.0);
        std::lock_guard lock(mutex);
        return QStringLiteral("%1: %2 chamadas, p50 %3 ms, p99 %4 ms, máx %5 ms, falhas %6, ocupado %7")
            .arg(name, -24).arg(ms.size()).arg(p50, 0, 'f', 1).arg(p99, 0, 'f', 1).arg(max, 0, 'f', 1).arg(failed).arg(busy);
    }
};

struct Answer {
    QJsonObject response;
    int status = 0;
    double ms = 0;
};

Answer timedCall(quint16 port, const QString &method, const QJsonArray &params, const QString &object = kPlanObject)
{
    QElapsedTimer timer;
    timer.start();
    const harness::HttpReply reply = harness::exchange(port, harness::post("/rpc/" + object, harness::rpcBody(method, params), kToken), 600000);
    return {reply.json(), reply.status, double(timer.nsecsElapsed()) / 1e6};
}

QJsonValue answerOf(const Answer &answer)
{
    return answer.response.value("result").toObject().value("answer");
}

bool envelopeOk(const Answer &answer)
{
    return answerOf(answer).toObject().value("ok").toBool();
}

bool isBusy(const Answer &answer)
{
    return answer.status == 503;
}

// Ping and two lookups, measured one after the other for `seconds` while `load` runs on
// `loops` threads until the measure ends; then the load's own figures, named `loadName`.
int quickCallsUnder(quint16 port, int loops, int seconds, const QString &loadName, const std::function<void(Latencies &)> &load)
{
    std::atomic<bool> running{true};
    Latencies loaded, ping, lookups;
    std::vector<std::thread> writers;
    for (int i = 0; i < loops; ++i) {
        writers.emplace_back([&] {
            while (running)
                load(loaded);
        });
    }
    QThread::msleep(500);
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(qint64(seconds) * 1000)) {
        const Answer pong = timedCall(port, "rpc.ping", {});
        ping.add(pong.ms, envelopeOk(pong), isBusy(pong));
        const Answer branches = timedCall(port, "GetFiliAgreg", {"F", "", "0001", ""});
        lookups.add(branches.ms, envelopeOk(branches), isBusy(branches));
        const Answer groupings = timedCall(port, "GetAgrupFili", {"T"});
        lookups.add(groupings.ms, envelopeOk(groupings), isBusy(groupings));
        QThread::msleep(20);
    }
    running = false;
    for (std::thread &writer : writers)
        writer.join();
    say(loaded.summary(loadName));
    say(ping.summary(QStringLiteral("rpc.ping")));
    say(lookups.summary(QStringLiteral("consultas")));
    return ping.failed + lookups.failed > 0 ? 1 : 0;
}

int lanes(quint16 port, int preparations, int seconds)
{
    return quickCallsUnder(port, preparations, seconds, QStringLiteral("ExecStpConsPlan (ano)"), [port](Latencies &prepared) {
        const Answer answer = timedCall(port, "ExecStpConsPlan", {"0001", "", "T", "", "2025-01-01", "2025-12-31", "0", "zzzzzzzzzz", "BENCH"});
        const QString number = answerOf(answer).toString();
        prepared.add(answer.ms, number.size() == 10, isBusy(answer));
        if (number.size() == 10)
            timedCall(port, "DelConsPlan", {"", number});
    });
}

// A school's valid sign-in and sign-out in loops; refused sign-ins (the rate per operator) count
// as failed in the load's figures, and each loop then waits a second as a client would.
int signIns(quint16 port, int loops, int seconds)
{
    return quickCallsUnder(port, loops, seconds, QStringLiteral("entrar (ESC0101)"), [port](Latencies &signedIn) {
        const Answer answer = timedCall(port, "entrar", {"ESC0101", "escola0101"}, QStringLiteral("Sessao"));
        const QByteArray token = answerOf(answer).toObject().value("data").toObject().value("token").toString().toLatin1();
        signedIn.add(answer.ms, !token.isEmpty(), isBusy(answer));
        if (token.isEmpty()) {
            QThread::msleep(1000);
            return;
        }
        harness::exchange(port, harness::post("/rpc/Sessao", harness::rpcBody("sair", {}), token));
    });
}

// Client c's two schools and period: the 1st to the 28th of a month, so part of it is read
// from the day rows.
std::tuple<QStringList, QDate, QDate> cycleScope(int c)
{
    const QDate first(2025, 3 + c % 8, 1);
    return {{QStringLiteral("%1").arg(101 + c % 14, 4, 10, QLatin1Char('0')), QStringLiteral("%1").arg(101 + (c + 5) % 14, 4, 10, QLatin1Char('0'))},
            first, first.addDays(27)};
}

// What the cycle's clients would wait for with no server: each on its own connection, the plain
// query of its report's result straight from the day rows, as often as its cycles.
void plainCycle(const QString &database, int clients, int rounds)
{
    Latencies plain;
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const QString connection = QStringLiteral("plain-%1").arg(c);
            {
                QSqlDatabase db = QSqlDatabase::addDatabase(wire::DatabaseUrl::parse(database)->qtDriver(), connection);
                wire::DatabaseUrl::parse(database)->applyTo(db);
                const bool open = db.open();
                const auto [branches, start, end] = cycleScope(c);
                for (int r = 0; r < rounds; ++r) {
                    QElapsedTimer timer;
                    timer.start();
                    QString error;
                    const bool ok = open && bench::plainResult(db, QStringLiteral("0001"), branches, start, end, false, &error) >= 0;
                    plain.add(double(timer.nsecsElapsed()) / 1e6, ok, false);
                }
            }
            QSqlDatabase::removeDatabase(connection);
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const double seconds = double(clock.elapsed()) / 1000;
    say(QStringLiteral("régua: a consulta direta do mesmo resultado, %1 clientes com conexão própria: %2 consultas/s")
            .arg(clients).arg(plain.ms.size() / seconds, 0, 'f', 1));
    say(plain.summary(QStringLiteral("consulta direta")));
}

// Clients running the whole report cycle, each on its own branches' month.
int cycle(quint16 port, int clients, int rounds)
{
    Latencies calls, lists, plans, planDeletes, listDeletes;
    const auto add = [&calls](Latencies &method, const Answer &answer, bool ok) {
        calls.add(answer.ms, ok, isBusy(answer));
        method.add(answer.ms, ok, isBusy(answer));
    };
    std::atomic<int> cyclesDone{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> threads;
    for (int c = 0; c < clients; ++c) {
        threads.emplace_back([&, c] {
            const auto [schools, start, end] = cycleScope(c);
            const QString branches = QLatin1Char('_') + schools.join(QLatin1Char('_')) + QLatin1Char('_');
            for (int r = 0; r < rounds; ++r) {
                const Answer listed = timedCall(port, "getListas", {"T", "T", "0001", branches});
                add(lists, listed, envelopeOk(listed));
                const Answer plan = timedCall(port, "ExecStpConsPlan", {"0001", "", branches, "", start.toString(Qt::ISODate),
                                                                        end.toString(Qt::ISODate), "0", "zzzzzzzzzz", "BENCH"});
                const QString number = answerOf(plan).toString();
                add(plans, plan, number.size() == 10);
                const Answer deleted = timedCall(port, "DelConsPlan", {"", number});
                add(planDeletes, deleted, envelopeOk(deleted));
                const Answer listsDeleted = timedCall(port, "deletaListas", {answerOf(listed).toObject().value("data")});
                add(listDeletes, listsDeleted, envelopeOk(listsDeleted));
                ++cyclesDone;
            }
        });
    }
    for (std::thread &thread : threads)
        thread.join();
    const double seconds = double(clock.elapsed()) / 1000;
    say(QStringLiteral("%1 clientes, %2 ciclos em %3 s: %4 ciclos/s, %5 chamadas/s")
            .arg(clients).arg(cyclesDone.load()).arg(seconds, 0, 'f', 1)
            .arg(cyclesDone / seconds, 0, 'f', 1).arg(4 * cyclesDone / seconds, 0, 'f', 1));
    say(lists.summary(QStringLiteral("getListas")));
    say(plans.summary(QStringLiteral("ExecStpConsPlan (mês)")));
    say(planDeletes.summary(QStringLiteral("DelConsPlan")));
    say(listDeletes.summary(QStringLiteral("deletaListas")));
    say(calls.summary(QStringLiteral("todas as chamadas")));
    return calls.failed > 0 ? 1 : 0;
}

// Connections that send a request line and close at once, `rate` a second, while ping runs.
int flood(quint16 port, int rate, int seconds)
{
    std::atomic<bool> running{true};
    std::atomic<int> opened{0};
    std::thread attacker([&] {
        const QByteArray line = "POST /rpc/" + kPlanObject.toUtf8() + " HTTP/1.1\r\n";
        QElapsedTimer clock;
        clock.start();
        while (running) {
            const int fd = harness::connectLoopback(port);
            if (fd >= 0) {
                [[maybe_unused]] const auto sent = ::send(fd, line.constData(), size_t(line.size()), MSG_NOSIGNAL);
                ++opened;
                ::close(fd);
            }
            const qint64 next = qint64(opened) * 1000 / rate;
            if (next > clock.elapsed())
                QThread::msleep(quint64(next - clock.elapsed()));
        }
    });
    Latencies ping;
    QElapsedTimer clock;
    clock.start();
    while (!clock.hasExpired(qint64(seconds) * 1000)) {
        const Answer pong = timedCall(port, "rpc.ping", {});
        ping.add(pong.ms, envelopeOk(pong), isBusy(pong));
        QThread::msleep(100);
    }
    running = false;
    attacker.join();
    say(QStringLiteral("%1 conexões abertas e fechadas em %2 s").arg(opened.load()).arg(seconds));
    say(ping.summary(QStringLiteral("rpc.ping")));
    return ping.failed > 0 ? 1 : 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Carga no zub-server: lanes, cycle, flood ou signins."));
    parser.addHelpOption();
    parser.addPositionalArgument(QStringLiteral("modo"), QStringLiteral("lanes, cycle, flood ou signins"));
    const QCommandLineOption database(QStringLiteral("database"), QStringLiteral("Banco com os dados de demonstração."), QStringLiteral("endereço"));
    const QCommandLineOption preparations(QStringLiteral("preparations"), QStringLiteral("lanes: preparações simultâneas (4)."), QStringLiteral("n"), QStringLiteral("4"));
    const QCommandLineOption clients(QStringLiteral("clients"), QStringLiteral("cycle: clientes (100); signins: laços de entrada (32)."), QStringLiteral("n"));
    const QCommandLineOption rounds(QStringLiteral("rounds"), QStringLiteral("cycle: ciclos por cliente (5)."), QStringLiteral("n"), QStringLiteral("5"));
    const QCommandLineOption rate(QStringLiteral("rate"), QStringLiteral("flood: conexões por segundo (50)."), QStringLiteral("n"), QStringLiteral("50"));
    const QCommandLineOption seconds(QStringLiteral("seconds"), QStringLiteral("lanes, flood, signins: duração (30)."), QStringLiteral("s"), QStringLiteral("30"));
    const QCommandLineOption serverArgs(QStringLiteral("server-args"), QStringLiteral("Opções a mais para o zub-server, separadas por espaço."),
                                        QStringLiteral("opções"));
    parser.addOptions({database, preparations, clients, rounds, rate, seconds, serverArgs});
    parser.process(app);
    const QString mode = parser.positionalArguments().value(0);
    if (!parser.isSet(database) || !QStringList{"lanes", "cycle", "flood", "signins"}.contains(mode)) {
        std::fprintf(stderr, "%s", qPrintable(parser.helpText()));
        return 2;
    }
    harness::ServerProcess server;
    QString why;
    if (!server.start(parser.value(database), kToken, parser.value(serverArgs).split(' ', Qt::SkipEmptyParts) + QStringList{"--log-level", "warning"}, &why)) {
        std::fprintf(stderr, "%s\n", qPrintable(why));
        return 1;
    }
    int result = 0;
    if (mode == QLatin1String("lanes")) {
        result = lanes(server.port(), parser.value(preparations).toInt(), parser.value(seconds).toInt());
    } else if (mode == QLatin1String("cycle")) {
        const int cycleClients = parser.isSet(clients) ? parser.value(clients).toInt() : 100;
        result = cycle(server.port(), cycleClients, parser.value(rounds).toInt());
        plainCycle(parser.value(database), cycleClients, parser.value(rounds).toInt());
    } else if (mode == QLatin1String("signins")) {
        result = signIns(server.port(), parser.isSet(clients) ? parser.value(clients).toInt() : 32, parser.value(seconds).toInt());
    } else {
        result = flood(server.port(), parser.value(rate).toInt(), parser.value(seconds).toInt());
    }
    server.stop();
    return result;
}
