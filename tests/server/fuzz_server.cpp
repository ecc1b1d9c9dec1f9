// Mutated requests against the server's own code: the HTTP layer, the JSON-RPC reading and
// every method's arguments, on a small SQLite demo database, with the server in this process
// so that a sanitizer build (ZUB_SANITIZE) sees everything it does.
//
//   zub-fuzz-server [--requests 1000000] [--seed 1] [--threads 2]
//
// Ends with 1 when a request got no well-formed answer or an internal error (-32603); a crash
// ends the process. The summary names the seed, so a finding can be repeated.
#include "server/custoplanxreal.h"
#include "server/custprod.h"
#include "server/savedfilters.h"
#include "server/database.h"
#include "server/demodata.h"
#include "server/httpserver.h"
#include "server/rpcdispatcher.h"
#include "server/schema.h"
#include "server/serverlog.h"
#include "server/sessions.h"
#include "serverharness.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRandomGenerator>
#include <QTemporaryDir>

#include <atomic>
#include <cstdio>
#include <mutex>
#include <thread>

using namespace server;

namespace {

const QByteArray kToken = "token-do-fuzz-0123456789abcdef";

struct Method {
    QString object;
    QString name;
    int arity;
};

const QList<Method> kMethods = {
    {kCustoPlanXRealObject, "GetFiliAgreg", 4}, {kCustoPlanXRealObject, "GetAgrupFili", 1},
    {kCustoPlanXRealObject, "GetServico", 4},   {kCustoPlanXRealObject, "ExecStpConsPlan", 9},
    {kCustoPlanXRealObject, "getListas", 4},    {kCustoPlanXRealObject, "DelConsPlan", 2},
    {kCustoPlanXRealObject, "deletaListas", 1}, {kCustProdObject, "ListaTipoCusto", 0},
    {kCustoPlanXRealObject, "GetMotivoVazio", 8},
    {kCustoPlanXRealObject, "rpc.ping", 0},     {kCustoPlanXRealObject, "rpc.cancel", 1},
    {kCustoPlanXRealObject, "DropTables", 2},
};

const QStringList kTexts = {
    "", "T", "_", "F", "A", "0001", "0002", "0101", "0102", "9001", "_0101_0102_", "0101_", "_0101", "__", "00010", "_00010_00030_",
    "_010100010_", "_01_02_", "01", "001", "_001_", "0000000001", "2025-03-01", "2025-03-05", "2025-02-30", "2025-03-01\n",
    "01/03/2025", "0", "zzzzzzzzzz", "OP01", " ", "ção", QString(QChar(0)), "OP" + QString(QChar(0)), "'; DROP TABLE LISTA;--",
    "\\u0000", "%00", QString(4000, 'A'), QString(11, '9'), "0000000001 ",
};

class Mutator
{
public:
    explicit Mutator(quint64 seed) : m_random(quint32(seed ^ (seed >> 32))) {}
    int below(int n) { return int(m_random.bounded(quint32(n))); }
    bool chance(int percent) { return below(100) < percent; }

    QJsonValue value(int depth = 0)
    {
        switch (below(depth > 2 ? 6 : 9)) {
        case 0: case 1: case 2: case 3: return kTexts[below(int(kTexts.size()))];
        case 4: return QJsonValue::Null;
        case 5: {
            static const double numbers[] = {0, 1, -1, 7, 1e10, 1e308, -1e308, 3.5, 4294967296.0};
            return numbers[below(9)];
        }
        case 6: return chance(50);
        case 7: {
            QJsonArray array;
            for (int i = below(5); i > 0; --i)
                array.append(value(depth + 1));
            return array;
        }
        default: return QJsonObject{{kTexts[below(10)], value(depth + 1)}};
        }
    }

    // A call of a known method, its arguments mostly plausible, sometimes anything.
    QPair<QString, QByteArray> call()
    {
        const Method &method = kMethods[below(int(kMethods.size()))];
        QJsonArray params;
        int arity = method.arity;
        if (chance(5))
            arity += chance(50) ? 1 : -1;
        for (int i = 0; i < arity; ++i)
            params.append(value());
        QJsonObject request{{"jsonrpc", "2.0"}, {"method", method.name}, {"params", params}};
        if (!chance(10))
            request.insert("id", chance(50) ? QJsonValue(below(1000)) : QJsonValue(kTexts[below(int(kTexts.size()))]));
        if (chance(3))
            request.remove(chance(50) ? "jsonrpc" : "method");
        if (chance(3))
            request.insert("params", value());
        return {method.object, mutateBytes(QJsonDocument(request).toJson(QJsonDocument::Compact))};
    }

    QByteArray mutateBytes(QByteArray bytes)
    {
        if (!chance(20) || bytes.isEmpty())
            return bytes;
        for (int n = 1 + below(4); n > 0; --n) {
            const int at = below(int(bytes.size()));
            switch (below(4)) {
            case 0: bytes[at] = char(below(256)); break;
            case 1: bytes.insert(at, char(below(256))); break;
            case 2: bytes.remove(at, 1 + below(8)); break;
            default: bytes.truncate(at); break;
            }
            if (bytes.isEmpty())
                break;
        }
        return bytes;
    }

    // The HTTP request around a body, now and then with a bent path, header or framing; a bent
    // frame sets *bent, and the sender then closes its side instead of leaving the server waiting.
    QByteArray http(const QString &object, const QByteArray &body, bool *bent)
    {
        *bent = false;
        static const QList<QByteArray> paths = {"/rpc/", "/rpc/%00", "/rpc/Zub01100%2ErdmCustoPlanXReal", "/rpc/x?y=1", "/rpc//", "/", "*",
                                                "/rpc/../etc/passwd", "/rpc/Nada.rdmNada"};
        QByteArray path = "/rpc/" + object.toUtf8();
        if (chance(10))
            path = paths[below(int(paths.size()))] + (chance(50) ? object.toUtf8() : QByteArray());
        const QByteArray method = chance(5) ? QByteArray(chance(50) ? "GET" : "P\x01ST") : QByteArray("POST");
        QByteArray head = method + " " + path + " HTTP/1." + (chance(5) ? "0" : "1") + "\r\nHost: 127.0.0.1\r\n";
        if (!chance(5))
            head += "Authorization: Bearer " + (chance(3) ? kToken.left(10) : kToken) + "\r\n";
        if (chance(10)) {
            QByteArray chunked;
            for (qsizetype at = 0; at < body.size(); at += 7)
                chunked += QByteArray::number(qMin<qsizetype>(7, body.size() - at), 16) + "\r\n" + body.mid(at, 7) + "\r\n";
            const QByteArray framed = chunked + "0\r\n\r\n";
            const QByteArray sent = mutateBytes(framed);
            *bent = sent != framed;
            return head + "Transfer-Encoding: chunked\r\nConnection: close\r\n\r\n" + sent;
        }
        const qsizetype length = chance(5) ? body.size() + below(40) - 20 : body.size();
        *bent = length != body.size();
        head += "Content-Length: " + (chance(2) ? QByteArray("-1") : QByteArray::number(length)) + "\r\nConnection: close\r\n";
        if (chance(3))
            head += QByteArray(below(3000), 'x') + ": " + QByteArray(below(70000), 'y') + "\r\n";
        return head + "\r\n" + body;
    }

private:
    QRandomGenerator64 m_random;
};

struct Tally {
    std::mutex mutex;
    QMap<QString, qint64> outcomes;
    qint64 findings = 0;
    QStringList examples;

    void add(const QString &outcome, bool finding, const QByteArray &request)
    {
        std::lock_guard lock(mutex);
        ++outcomes[outcome];
        if (finding) {
            ++findings;
            if (examples.size() < 5)
                examples << QString::fromUtf8(request.left(600).toPercentEncoding(" /:{}[],\"_-."));
        }
    }
};

QString outcomeOf(const QJsonObject &response)
{
    if (response.contains("error"))
        return QStringLiteral("erro %1").arg(response.value("error").toObject().value("code").toInt());
    return response.contains("result") ? QStringLiteral("resposta") : QStringLiteral("malformada");
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    const QCommandLineOption requests("requests", "Requisições (1000000).", "n", "1000000");
    const QCommandLineOption seed("seed", "Semente (1).", "n", "1");
    const QCommandLineOption threads("threads", "Clientes simultâneos (2).", "n", "2");
    parser.addOptions({requests, seed, threads});
    parser.addHelpOption();
    parser.process(app);
    const qint64 total = parser.value(requests).toLongLong();
    const quint64 firstSeed = parser.value(seed).toULongLong();
    const int clients = qMax(1, parser.value(threads).toInt());
    setLogLevel(LogLevel::Error);

    QTemporaryDir dir;
    DbSettings settings;
    settings.url = *wire::DatabaseUrl::parse(QStringLiteral("sqlite:") + dir.filePath(QStringLiteral("fuzz.db")));
    {
        QSqlDatabase db = openConnection(settings, QStringLiteral("setup"));
        ensureSchema(db);
        DemoOptions demo;
        demo.branches = 3;
        demo.days = 20;
        createDemo(db, demo);
    }
    QSqlDatabase::removeDatabase(QStringLiteral("setup"));

    RpcDispatcher dispatcher;
    const CustoPlanXReal plans(settings);
    const CustProd costs(settings);
    // Saved filters and school years are the report's too: one connection of the screen reaches them.
    const SavedFilters savedFilters(settings);
    dispatcher.addObject(QString::fromLatin1(kCustoPlanXRealObject), plans.methods() + savedFilters.methods());
    dispatcher.addObject(QString::fromLatin1(kCustProdObject), costs.methods());
    HttpServer http(dispatcher, kToken, HttpLimits{});
    QString error;
    if (!http.start(QHostAddress::LocalHost, 0, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }

    Tally tally;
    std::atomic<qint64> next{0};
    QElapsedTimer clock;
    clock.start();
    std::vector<std::thread> workers;
    for (int c = 0; c < clients; ++c) {
        workers.emplace_back([&, c] {
            // The calls straight to the dispatcher are the shared token's, as over HTTP.
            const Caller machine{Caller::Kind::Machine, {}, {}};
            const Caller::Scope asMachine(machine);
            Mutator mutate(firstSeed * 1000 + quint64(c));
            for (qint64 n = next++; n < total; n = next++) {
                const auto [object, body] = mutate.call();
                // Most requests go straight to the dispatcher, a third through HTTP as well.
                if (mutate.chance(70)) {
                    const QJsonObject response = QJsonDocument::fromJson(dispatcher.dispatch(object, body).encode()).object();
                    const QString outcome = outcomeOf(response);
                    tally.add(outcome, outcome == QLatin1String("erro -32603") || outcome == QLatin1String("malformada"), body);
                } else {
                    bool bent = false;
                    const QByteArray request = mutate.http(object, body, &bent);
                    const harness::HttpReply reply = harness::exchange(http.port(), request, 30000, bent);
                    const QString outcome = QStringLiteral("HTTP %1").arg(reply.status);
                    // Closing on a broken frame (status 0) is fair; an answer must be JSON-RPC.
                    const bool malformed = reply.status != 0 && reply.status != 400 && reply.status != 431
                        && !reply.json().contains("error") && !reply.json().contains("result");
                    tally.add(outcome, malformed || reply.json().value("error").toObject().value("code").toInt() == -32603, request);
                }
                if (n % 20000 == 19999) {
                    std::printf("%lld requisições, %.0f/s\n", n + 1, double(n + 1) * 1000 / double(qMax<qint64>(1, clock.elapsed())));
                    std::fflush(stdout);
                }
            }
        });
    }
    for (std::thread &worker : workers)
        worker.join();
    http.stop();

    std::printf("semente %llu, %lld requisições em %.1f s; achados: %lld\n", firstSeed, total, double(clock.elapsed()) / 1000, tally.findings);
    for (auto it = tally.outcomes.begin(); it != tally.outcomes.end(); ++it)
        std::printf("  %-14s %lld\n", qPrintable(it.key()), it.value());
    for (const QString &example : tally.examples)
        std::printf("  exemplo: %s\n", qPrintable(example));
    return tally.findings == 0 ? 0 : 1;
}
