// Times the plan preparation and the service list of the real zub-server against the bare
// aggregate queries that compute the same rows without storing them.
//
//   zub-bench --database sqlite:/tmp/bench.db [--branches 300] [--days 365] [--repeat 5] [--reuse]
//   zub-bench --database postgresql://user@127.0.0.1:5432/bench ...
#include "server/database.h"
#include "server/demodata.h"
#include "server/schema.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>

using namespace server;

namespace {

const QByteArray kToken = "token-do-benchmark-0123456789";
const QString kPlanObject = QStringLiteral("Zub01100.rdmCustoPlanXReal");

void say(const QString &text)
{
    std::printf("%s\n", text.toLocal8Bit().constData());
    std::fflush(stdout);
}

QJsonValue call(quint16 port, const QString &method, const QJsonArray &params)
{
    const QByteArray body = QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}})
                                .toJson(QJsonDocument::Compact);
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(10000))
        return {};
    socket.write("POST /rpc/" + kPlanObject.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kToken
                 + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n\r\n" + body);
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(600000))
        reply += socket.readAll();
    reply += socket.readAll();
    const QJsonObject response = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
    return response.value("result").toObject().value("answer");
}

// Milliseconds that `run` takes.
double timed(const std::function<void()> &run)
{
    QElapsedTimer timer;
    timer.start();
    run();
    return timer.nsecsElapsed() / 1e6;
}

// Medians in milliseconds of `repeat` measurements of two runs, after one of each to warm the
// caches. The two alternate, so a busy moment of the machine weighs on both alike; each run
// measures itself, so clean-up after a call stays out of the figure.
QPair<double, double> medians(int repeat, const std::function<double()> &first, const std::function<double()> &second)
{
    first();
    second();
    QList<double> a, b;
    for (int i = 0; i < repeat; ++i) {
        a << first();
        b << second();
    }
    std::sort(a.begin(), a.end());
    std::sort(b.begin(), b.end());
    return {a[a.size() / 2], b[b.size() / 2]};
}

// Runs a query and reads every row, as a report would.
qint64 readAll(QSqlDatabase &db, const Sql &sql)
{
    QSqlQuery query = exec(db, sql, QStringLiteral("medir a consulta"));
    qint64 rows = 0;
    while (query.next())
        ++rows;
    return rows;
}

// The planned sums of stockable products per branch, service, menu type and product, with the
// filters the preparation applies, written by hand for the comparison and only read.
Sql bareAggregate(const QStringList &branches, const QDate &start, const QDate &end)
{
    Sql sql(QStringLiteral("SELECT R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, I.CDPRODUTO, SUM(R.QTREFEPLAN), SUM(R.QTREFEPLAN * I.QTPERCAPITA)"
                           " FROM REFEPLAN R"
                           " JOIN FILIAL F ON F.CDFILIAL = R.CDFILIAL"
                           " JOIN ITCARDAPIO I ON I.CDCARDAPIO = R.CDCARDAPIO"
                           " JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO"
                           " WHERE R.DTREFEICAO BETWEEN ? AND ? AND P.IDESTOCAVEL = 'S' AND I.CDPRODUTO BETWEEN '0' AND 'zzzzzzzzzz'"
                           " AND F.CDFILCENTZUB = '0001' AND "));
    sql.bind(start).bind(end);
    sql.in(QStringLiteral("F.CDFILIAL"), branches);
    return sql.add(QStringLiteral(" GROUP BY R.CDFILIAL, R.CDSERVFILI, R.CDTIPOCARD, I.CDPRODUTO"));
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mede a preparação do plano consolidado e a lista de serviços do zub-server."));
    parser.addHelpOption();
    parser.addOptions({
        {"database", "Banco: sqlite:ARQUIVO ou postgresql://... (será recriado).", "endereço"},
        {"branches", "Escolas da central (padrão 300).", "n", "300"},
        {"days", "Dias de histórico (padrão 365).", "n", "365"},
        {"repeat", "Repetições medidas de cada chamada (padrão 5).", "n", "5"},
        {"reuse", "Usa o banco como está, sem recriar os dados."},
        {"server", "Caminho do zub-server.", "arquivo", QCoreApplication::applicationDirPath() + "/zub-server"},
    });
    parser.process(app);
    QString error;
    const auto url = wire::DatabaseUrl::parse(parser.value("database"), &error);
    if (!url) {
        say(QStringLiteral("zub-bench: %1").arg(error));
        return 2;
    }
    DbSettings settings;
    settings.url = *url;
    const int repeat = qMax(1, parser.value("repeat").toInt());

    try {
        QSqlDatabase db = openConnection(settings, QStringLiteral("bench"));
        if (!parser.isSet("reuse")) {
            DemoOptions options;
            options.branches = parser.value("branches").toInt();
            options.days = parser.value("days").toInt();
            QElapsedTimer timer;
            timer.start();
            dropSchema(db);
            ensureSchema(db);
            const DemoSummary summary = createDemo(db, options);
            if (url->kind == wire::DatabaseUrl::Kind::Postgres)
                execScript(db, {QStringLiteral("ANALYZE")}, QStringLiteral("atualizar as estatísticas"));
            say(QStringLiteral("dados: %1 (%2 s)").arg(summary.describe()).arg(timer.elapsed() / 1000.0, 0, 'f', 1));
        }

        // An INSERT ... SELECT never runs in parallel on PostgreSQL, a bare SELECT may; run the
        // bare query serially too, so the ratio shows what storing the plan costs.
        if (url->kind == wire::DatabaseUrl::Kind::Postgres)
            execScript(db, {QStringLiteral("SET max_parallel_workers_per_gather = 0")}, QStringLiteral("configurar a medição"));

        QTemporaryDir dir;
        const QString tokenFile = dir.filePath(QStringLiteral("token"));
        QFile token(tokenFile);
        token.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        token.write(kToken);
        token.close();
        QProcess server;
        server.setProcessChannelMode(QProcess::MergedChannels);
        server.start(parser.value("server"), {"--database", url->kind == wire::DatabaseUrl::Kind::Sqlite ? "sqlite:" + url->path : parser.value("database"),
                                              "--listen", "127.0.0.1:0", "--token-file", tokenFile});
        quint16 port = 0;
        QString output;
        static const QRegularExpression listening(QStringLiteral(":(\\d+)/rpc/"));
        while (port == 0 && server.waitForReadyRead(30000)) {
            output += QString::fromUtf8(server.readAll());
            const auto match = listening.match(output);
            if (match.hasMatch())
                port = quint16(match.captured(1).toUInt());
        }
        if (port == 0) {
            say(QStringLiteral("zub-bench: o zub-server não iniciou: %1").arg(output));
            return 1;
        }

        QStringList branches;
        {
            QSqlQuery codes = exec(db, Sql(QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE CDFILCENTZUB = '0001' ORDER BY CDFILIAL")),
                                   QStringLiteral("ler as filiais"));
            while (codes.next())
                branches << codes.value(0).toString();
        }
        const QString branchList = QLatin1Char('_') + branches.join(QLatin1Char('_')) + QLatin1Char('_');

        say(QStringLiteral("\n| %1, %2 escolas | zub-server | consulta direta | razão |").arg(url->kind == wire::DatabaseUrl::Kind::Sqlite ? "SQLite" : "PostgreSQL").arg(branches.size()));
        say(QStringLiteral("|---|---:|---:|---:|"));
        struct Period {
            QString label;
            QDate start, end;
        };
        const QList<Period> periods = {{QStringLiteral("ExecStpConsPlan, um mês (mar/2025)"), QDate(2025, 3, 1), QDate(2025, 3, 31)},
                                       {QStringLiteral("ExecStpConsPlan, um ano (2025)"), QDate(2025, 1, 1), QDate(2025, 12, 31)}};
        for (const Period &period : periods) {
            qint64 rows = 0;
            qint64 bareRows = 0;
            const auto [prepared, bare] = medians(
                repeat,
                [&] {
                    QString number;
                    const double ms = timed([&] {
                        number = call(port, QStringLiteral("ExecStpConsPlan"),
                                      {"0001", "", branchList, "", period.start.toString(Qt::ISODate), period.end.toString(Qt::ISODate), "0",
                                       "zzzzzzzzzz", "BENCH"}).toString();
                    });
                    if (number.size() != 10)
                        throw DbError{QStringLiteral("ExecStpConsPlan recusou: %1").arg(number)};
                    rows = readAll(db, Sql(QStringLiteral("SELECT 1 FROM ITCONSPLAN WHERE NRCONSPLAN = ?")).bind(number));
                    call(port, QStringLiteral("DelConsPlan"), {"", number});
                    return ms;
                },
                [&] { return timed([&] { bareRows = readAll(db, bareAggregate(branches, period.start, period.end)); }); });
            if (bareRows != rows)
                throw DbError{QStringLiteral("o plano tem %1 linhas e a consulta direta %2").arg(rows).arg(bareRows)};
            say(QStringLiteral("| %1 (%2 linhas) | %3 ms | %4 ms | %5 |").arg(period.label).arg(rows).arg(prepared, 0, 'f', 0).arg(bare, 0, 'f', 0).arg(prepared / bare, 0, 'f', 2));
        }
        qint64 services = 0;
        const auto [listed, bare] = medians(
            repeat,
            [&] {
                return timed([&] {
                    services = call(port, QStringLiteral("GetServico"), {"T", "T", "T", "0001"}).toObject().value("data").toObject().value("rows").toArray().size();
                });
            },
            [&] {
                return timed([&] {
                    readAll(db, Sql(QStringLiteral("SELECT 'N', S.CDFILIAL, S.CDSERVFILI, S.NMSERVICO, S.CDFILIAL || S.CDSERVFILI FROM SERVFILI S"
                                                   " JOIN FILIAL F ON F.CDFILIAL = S.CDFILIAL WHERE F.CDFILCENTZUB = '0001' ORDER BY S.CDFILIAL, S.CDSERVFILI")));
                });
            });
        say(QStringLiteral("| GetServico, todas as escolas (%1 linhas) | %2 ms | %3 ms | %4 |").arg(services).arg(listed, 0, 'f', 1).arg(bare, 0, 'f', 1).arg(listed / bare, 0, 'f', 2));

        server.terminate();
        server.waitForFinished();
        db.close();
    } catch (const DbError &failure) {
        say(QStringLiteral("zub-bench: %1").arg(failure.message));
        return 1;
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench"));
    return 0;
}
