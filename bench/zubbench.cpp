// Times what a user of a large central waits for, on SQLite and PostgreSQL side by side, against
// a naive hand-written query of the same result as yardstick:
//   - the whole path of a report (service list, branch list, preparation, stored lists, report
//     data, PDF, clean-up) in this process, for a month, a quarter and the year, for all schools
//     and for one school;
//   - the naive query of the whole planned-versus-actual result straight from the day rows;
//   - getListas with 1 000 to 1 000 000 service keys;
//   - the real zub-client in batch mode (start-up included) for a few reports, with its peak
//     memory.
//
//   zub-bench --database sqlite:/tmp/bench.db --database postgresql://zub@127.0.0.1:55432/bench
//             [--branches 300] [--centrals 1] [--days 365] [--repeat 5] [--reuse] [--year-only]
#include "benchfigures.h"
#include "plainquery.h"

#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/data/params.h"
#include "host/network/netconnection.h"
#include "host/network/serverdata.h"
#include "report/reportengine.h"
#include "report/reportlayout.h"
#include "server/database.h"
#include "server/demodata.h"
#include "server/schema.h"

#include <QCommandLineParser>
#include <QDir>
#include <QElapsedTimer>
#include <QGuiApplication>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QPrinter>
#include <QProcess>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlError>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>
#include <functional>
#include <map>
#include <optional>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>

extern char **environ;

using namespace server;
using namespace bench;

namespace {

const QByteArray kToken = "token-do-benchmark-0123456789";
const QString kPlanObject = QStringLiteral("Zub01100.rdmCustoPlanXReal");
const QString kCentral = QStringLiteral("0001");
const QString kOneSchool = QStringLiteral("0150");
const QString kMenuTypes = QStringLiteral("01_02_03_"); // the central's active menu types

QJsonObject callRaw(quint16 port, const QString &method, const QJsonArray &params)
{
    const QByteArray body = QJsonDocument(QJsonObject{{"jsonrpc", "2.0"}, {"id", 1}, {"method", method}, {"params", params}})
                                .toJson(QJsonDocument::Compact);
    QTcpSocket socket;
    socket.connectToHost(QStringLiteral("127.0.0.1"), port);
    if (!socket.waitForConnected(10000))
        throw Failure{QStringLiteral("sem conexão com o zub-server")};
    socket.write("POST /rpc/" + kPlanObject.toUtf8() + " HTTP/1.1\r\nHost: 127.0.0.1\r\nAuthorization: Bearer " + kToken
                 + "\r\nContent-Type: application/json\r\nContent-Length: " + QByteArray::number(body.size())
                 + "\r\nConnection: close\r\n\r\n" + body);
    QByteArray reply;
    while (socket.state() == QAbstractSocket::ConnectedState && socket.waitForReadyRead(600000))
        reply += socket.readAll();
    reply += socket.readAll();
    const QJsonObject response = QJsonDocument::fromJson(reply.mid(reply.indexOf("\r\n\r\n") + 4)).object();
    if (!response.contains("result"))
        throw Failure{QStringLiteral("%1 falhou: %2").arg(method, QString::fromUtf8(reply.left(300)))};
    return response.value("result").toObject();
}

// The answer's data; a refusal ends the benchmark.
QJsonValue call(quint16 port, const QString &method, const QJsonArray &params)
{
    const QJsonValue answer = callRaw(port, method, params).value("answer");
    if (answer.isObject()) {
        if (!answer.toObject().value("ok").toBool())
            throw Failure{QStringLiteral("%1 recusou: %2").arg(method, answer.toObject().value("message").toString())};
        return answer.toObject().value("data");
    }
    return answer;
}

struct Period {
    QString label;
    QDate start, end;
};

// Whole months, and periods that cut months, each beside the whole months around it.
const QList<Period> kPeriods = {{QStringLiteral("mês (mar/2025)"), QDate(2025, 3, 1), QDate(2025, 3, 31)},
                                {QStringLiteral("03 a 28/03/2025"), QDate(2025, 3, 3), QDate(2025, 3, 28)},
                                {QStringLiteral("trimestre (1º/2025)"), QDate(2025, 1, 1), QDate(2025, 3, 31)},
                                {QStringLiteral("10/02 a 20/04/2025"), QDate(2025, 2, 10), QDate(2025, 4, 20)},
                                {QStringLiteral("fev a abr/2025"), QDate(2025, 2, 1), QDate(2025, 4, 30)},
                                {QStringLiteral("ano (2025)"), QDate(2025, 1, 1), QDate(2025, 12, 31)}};
const Period &kYear = kPeriods.last();

// The milliseconds of each step of one report run, as the screen makes it.
struct PathTimes {
    double lists = 0;       // GetServico, GetFiliAgreg, getListas
    double preparation = 0; // ExecStpConsPlan
    double data = 0;        // the layout's queries, into the document
    double pdf = 0;
    double cleanUp = 0;     // DelConsPlan, deletaListas
    int pages = 0;
    double total() const { return lists + preparation + data + pdf + cleanUp; }
};

class Site
{
public:
    Site(const QString &database, quint16 port, const QString &dir)
        : m_database(database), m_port(port), m_dir(dir), m_server(QStringLiteral("127.0.0.1"), port)
    {
        // The yardstick's plain query reads the database itself; the report's rows come from the
        // server, as the client gets them.
        m_geral.open(*wire::DatabaseUrl::parse(database));
        m_layouts = host::ReportLayout::loadFolder(QStringLiteral(ZUB_SOURCE_DIR "/reports/ZUB011"));
        if (m_layouts.size() < 3)
            throw Failure{QStringLiteral("layouts de ZUB011 não encontrados")};
    }

    // One whole report run: `branches` is "T" (every school) or a key list. With only the
    // non-stockables the screen prepares nothing: the layout reads the database's sums itself.
    PathTimes reportPath(int layout, const QStringList &schools, const Period &period, bool onlyNonStockables = false)
    {
        PathTimes times;
        QString branches;
        QString services;
        times.lists += timed([&] {
            const QString selection = schools.isEmpty() ? QStringLiteral("T") : QLatin1Char('_') + schools.join(QLatin1Char('_')) + QLatin1Char('_');
            const QJsonArray rows = call(m_port, QStringLiteral("GetServico"), {selection, "T", "T", kCentral}).toObject().value("rows").toArray();
            for (const QJsonValue &row : rows)
                services += row.toArray().at(4).toString() + QLatin1Char('_');
            if (schools.isEmpty()) {
                branches = QStringLiteral("_");
                const QJsonArray all = call(m_port, QStringLiteral("GetFiliAgreg"), {"F", "", kCentral, ""}).toObject().value("rows").toArray();
                for (const QJsonValue &row : all)
                    branches += row.toArray().at(1).toString() + QLatin1Char('_');
            } else {
                branches = selection;
            }
        });
        QString number;
        if (!onlyNonStockables) {
            times.preparation = timed([&] {
                number = call(m_port, QStringLiteral("ExecStpConsPlan"),
                              {kCentral, "", branches, "", period.start.toString(Qt::ISODate), period.end.toString(Qt::ISODate), "0", "zzzzzzzzzz", "BENCH"})
                             .toString();
            });
            if (number.size() != 10)
                throw Failure{QStringLiteral("ExecStpConsPlan recusou: %1").arg(number)};
        }
        QJsonArray lists;
        times.lists += timed([&] { lists = call(m_port, QStringLiteral("getListas"), {services, kMenuTypes, kCentral, branches}).toArray(); });

        const host::TParams params = parameters(branches, number, lists, period, onlyNonStockables);
        std::optional<host::ReportDocument> document;
        times.data = timed([&] {
            const host::ReportEngine engine(host::ReportEngine::fromServer(m_server, QStringLiteral("ZUB011"), m_layouts.at(layout)));
            document.emplace(engine.build(QStringLiteral("ZUB011"), m_layouts.at(layout), params));
        });
        times.pdf = timed([&] {
            QPrinter printer(QPrinter::HighResolution);
            printer.setOutputFormat(QPrinter::PdfFormat);
            printer.setOutputFileName(m_dir + QStringLiteral("/relatorio.pdf"));
            times.pages = document->print(printer);
        });
        times.cleanUp = timed([&] {
            if (!number.isEmpty())
                call(m_port, QStringLiteral("DelConsPlan"), {"", number});
            call(m_port, QStringLiteral("deletaListas"), QJsonArray{QJsonValue(lists)});
        });
        return times;
    }

    // The naive query of the whole result (layout 01's rows) straight from the day rows.
    double naive(const Period &period, bool onlyNonStockables, qint64 *rows)
    {
        QSqlDatabase db = m_geral.adcGeral();
        QString error;
        const double ms = timed([&] { *rows = bench::plainResult(db, kCentral, {}, period.start, period.end, onlyNonStockables, &error); });
        if (*rows < 0)
            throw Failure{QStringLiteral("consulta direta: %1").arg(error)};
        return ms;
    }

private:
    host::TParams parameters(const QString &branches, const QString &number, const QJsonArray &lists, const Period &period,
                             bool onlyNonStockables) const
    {
        host::TParams params;
        auto text = [&params](const char *name, const QString &value) { params.declare(name).setAsString(value); };
        auto date = [&params](const char *name, QDate day) { params.declare(name).setAsDateTime(QDateTime(day, QTime(0, 0))); };
        text("P_CDFILCENTZUB", kCentral);
        text("P_CDFILIAL", branches);
        text("P_NRLISTAFILI", lists.at(2).toString());
        text("P_NRCONSPLAN", number);
        text("P_NRLISTA", "");
        text("P_CDTIPOCARD", kMenuTypes);
        text("P_LISTATIPOCARD", lists.at(1).toString());
        text("P_LISTASERVICO", lists.at(0).toString());
        text("P_CDSERVFILI", "T");
        date("P_DTINICIAL", period.start);
        date("P_DTFINAL", period.end);
        text("P_DTPERIINIC", period.start.toString("dd/MM/yyyy"));
        text("P_DTPERIFINA", period.end.toString("dd/MM/yyyy"));
        date("P_DTMESINIC", QDate(period.start.year(), period.start.month(), 1));
        date("P_DTMESFINA", QDate(period.end.year(), period.end.month(), period.end.daysInMonth()));
        params.declare("P_NRTIPOCUSTO").setAsInteger(1);
        text("P_NMTIPOCUSTO", "Custo médio ponderado");
        text("P_IDESTOCAVEIS", onlyNonStockables ? "N" : "S");
        text("P_IDNESTOCAVEIS", "S");
        text("P_IDDIFERENCA", "T");
        text("P_NIVEL", "N");
        params.declare("P_NRTAMACNIVEL").setAsInteger(0);
        text("P_CDGRUPFILI", "Nenhum");
        text("P_NMGRUPFILI", "");
        return params;
    }

    QString m_database;
    quint16 m_port;
    QString m_dir;
    host::TdtmDBGeral m_geral;
    host::ServerDataSource m_server;
    QList<host::ReportLayout> m_layouts;
};

// The real client in batch mode: wall time and peak resident memory of that process.
struct ClientRun {
    double ms = 0;
    long peakKb = 0;
};

ClientRun runClient(const QStringList &arguments)
{
    QList<QByteArray> owned{(QCoreApplication::applicationDirPath() + QStringLiteral("/zub-client")).toLocal8Bit()};
    for (const QString &argument : arguments)
        owned << argument.toLocal8Bit();
    std::vector<char *> argv;
    for (QByteArray &argument : owned)
        argv.push_back(argument.data());
    argv.push_back(nullptr);
    QElapsedTimer timer;
    timer.start();
    pid_t pid = 0;
    if (posix_spawn(&pid, argv[0], nullptr, nullptr, argv.data(), environ) != 0)
        throw Failure{QStringLiteral("não foi possível iniciar o zub-client")};
    int status = 0;
    rusage usage{};
    wait4(pid, &status, 0, &usage);
    ClientRun run;
    run.ms = timer.nsecsElapsed() / 1e6;
    run.peakKb = usage.ru_maxrss;
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 0)
        throw Failure{QStringLiteral("o zub-client terminou com erro (%1): %2").arg(WEXITSTATUS(status)).arg(arguments.join(' '))};
    return run;
}

// Rows of the result table in the order they were first reported, one column per database.
class Table
{
public:
    void set(const QString &row, const QString &column, const QString &value)
    {
        if (!m_rows.contains(row))
            m_rows << row;
        if (!m_columns.contains(column))
            m_columns << column;
        m_cells[{row, column}] = value;
    }
    void print() const
    {
        say(QStringLiteral("\n| Medida | %1 |").arg(m_columns.join(QStringLiteral(" | "))));
        QString rule = QStringLiteral("|---|");
        for (int i = 0; i < m_columns.size(); ++i)
            rule += QStringLiteral("---:|");
        say(rule);
        for (const QString &row : m_rows) {
            QStringList cells;
            for (const QString &column : m_columns)
                cells << m_cells.value({row, column}, QStringLiteral("—"));
            say(QStringLiteral("| %1 | %2 |").arg(row, cells.join(QStringLiteral(" | "))));
        }
    }

private:
    QStringList m_rows, m_columns;
    QMap<QPair<QString, QString>, QString> m_cells;
};

void measure(const QString &database, const QCommandLineParser &parser, Table &table)
{
    const auto url = wire::DatabaseUrl::parse(database);
    const bool sqlite = url->kind == wire::DatabaseUrl::Kind::Sqlite;
    const QString column = sqlite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL");
    const int repeat = qMax(1, parser.value("repeat").toInt());
    DbSettings settings;
    settings.url = *url;
    if (!parser.isSet("reuse")) {
        QSqlDatabase db = openConnection(settings, QStringLiteral("bench-create"));
        DemoOptions options;
        options.branches = parser.value("branches").toInt();
        options.days = parser.value("days").toInt();
        options.centrals = parser.value("centrals").toInt();
        QElapsedTimer timer;
        timer.start();
        dropSchema(db);
        ensureSchema(db);
        const DemoSummary summary = createDemo(db, options);
        say(QStringLiteral("%1: %2 (%3 s)").arg(column, summary.describe()).arg(timer.elapsed() / 1000.0, 0, 'f', 1));
        db.close();
    }
    QSqlDatabase::removeDatabase(QStringLiteral("bench-create"));

    QTemporaryDir dir;
    QProcess server;
    // A million keys of nine characters are about 10 MB of request.
    const quint16 port = bench::startServer(server, parser.value("server"), database, dir.filePath(QStringLiteral("server.token")), kToken,
                                            {"--max-body", QString::number(32 * 1024 * 1024)});

    {
        const host::TNetConnection::DefaultsScope machineToken({[] { return QString::fromLatin1(kToken); }, {}});
        Site site(database, port, dir.path());
        // Warm the caches once, as a server that has been running would have them.
        site.reportPath(0, {}, kYear);
        struct PathCase {
            QString what;
            QStringList schools;
            bool onlyNonStockables;
            QList<Period> periods;
        };
        const bool yearOnly = parser.isSet("year-only");
        QList<PathCase> cases = {{QStringLiteral("todas as escolas"), {}, false, yearOnly ? QList<Period>{kYear} : kPeriods}};
        if (!yearOnly) {
            cases.append({QStringLiteral("uma escola (%1)").arg(kOneSchool), {kOneSchool}, false, {kPeriods[0], kPeriods[1], kYear}});
            cases.append({QStringLiteral("todas as escolas, só não estocáveis"), {}, true, {kPeriods[0], kPeriods[1], kYear}});
        }
        for (const PathCase &path : cases) {
            for (const Period &period : path.periods) {
                QList<PathTimes> runs;
                for (int i = 0; i < repeat; ++i)
                    runs << site.reportPath(0, path.schools, period, path.onlyNonStockables);
                std::sort(runs.begin(), runs.end(), [](const PathTimes &a, const PathTimes &b) { return a.total() < b.total(); });
                QList<double> totals;
                for (const PathTimes &run : runs)
                    totals << run.total();
                const PathTimes &mid = runs[runs.size() / 2];
                table.set(QStringLiteral("Caminho inteiro até o PDF, layout 01, %1, %2").arg(path.what, period.label), column, spread(totals));
                table.set(QStringLiteral("  … listas / preparação / dados / PDF, %1, %2").arg(path.what, period.label), column,
                          QStringLiteral("%1 / %2 / %3 / %4 (%5 p.)")
                              .arg(mid.lists + mid.cleanUp, 0, 'f', 0)
                              .arg(mid.preparation, 0, 'f', 0)
                              .arg(mid.data, 0, 'f', 0)
                              .arg(mid.pdf, 0, 'f', 0)
                              .arg(mid.pages));
                if (!path.schools.isEmpty())
                    continue;
                QList<double> naive;
                qint64 rows = 0;
                for (int i = 0; i < repeat; ++i)
                    naive << site.naive(period, path.onlyNonStockables, &rows);
                table.set(QStringLiteral("  consulta ingênua do mesmo resultado (régua, %1 linhas), %2, %3").arg(rows).arg(path.what, period.label), column,
                          QStringLiteral("%1; caminho / régua = %2").arg(spread(naive)).arg(median(totals) / median(naive), 0, 'f', 2));
            }
        }
        // The summary against the per-service layout on the same run: the year of all schools,
        // the two taken in turns so that a change of the machine's load weighs on both alike.
        {
            QList<double> perService, summary;
            for (int i = 0; i < repeat; ++i) {
                perService << site.reportPath(0, {}, kYear).total();
                summary << site.reportPath(2, {}, kYear).total();
            }
            table.set(QStringLiteral("Resumo até o PDF (layout 03), todas as escolas, %1").arg(kYear.label), column, spread(summary));
            table.set(QStringLiteral("  … resumo ÷ layout 01 do mesmo período (meta: até 1,5)"), column,
                      QString::number(median(summary) / median(perService), 'f', 2).replace(QLatin1Char('.'), QLatin1Char(',')));
        }
    }

    if (parser.isSet("year-only")) {
        server.terminate();
        server.waitForFinished();
        return;
    }

    // getListas with service keys: the central's own ones first, then keys of no central.
    QStringList real;
    for (const QJsonValue &row : call(port, QStringLiteral("GetServico"), {"T", "T", "T", kCentral}).toObject().value("rows").toArray())
        real << row.toArray().at(4).toString();
    for (const int count : {1000, 10000, 100000, 1000000}) {
        QString keys = QStringLiteral("_");
        keys.reserve(count * 10 + 1);
        for (int i = 0; i < count; ++i)
            keys += (i < real.size() ? real[i] : QStringLiteral("%1%2").arg(9000 + i / 99999 % 1000, 4, 10, QLatin1Char('0')).arg(i % 99999 + 1, 5, 10, QLatin1Char('0'))) + QLatin1Char('_');
        QList<double> runs;
        for (int i = 0; i < repeat; ++i) {
            QJsonArray lists;
            runs << timed([&] { lists = call(port, QStringLiteral("getListas"), {keys, kMenuTypes, kCentral, "T"}).toArray(); });
            call(port, QStringLiteral("deletaListas"), QJsonArray{QJsonValue(lists)});
        }
        table.set(QStringLiteral("getListas, %1 chaves de serviço").arg(QLocale(QLocale::Portuguese, QLocale::Brazil).toString(count)), column, spread(runs));
    }

    // The real client, start-up included.
    const QString config = dir.filePath(QStringLiteral("client.ini"));
    {
        QSettings ini(config, QSettings::IniFormat);
        ini.setValue("sessao/filial", kCentral);
        ini.setValue("sessao/operador", "BENCH");
        ini.setValue("servidor/host", "127.0.0.1");
        ini.setValue("servidor/porta", port);
        ini.setValue("servidor/arquivo_token", "server.token");
        ini.setValue("relatorios/pasta", QStringLiteral(ZUB_SOURCE_DIR "/reports"));
    }
    QStringList hundredPages;
    for (int i = 0; i < 46; ++i)
        hundredPages << demo::schoolCode(i);
    struct BatchCase {
        QString label;
        int layout;
        QString branches;
        QDate start, end;
    };
    const QList<BatchCase> cases = {
        {QStringLiteral("zub-client --batch, layout 01, todas as escolas, ano (3 p.)"), 0, QStringLiteral("todas"), QDate(2025, 1, 1), QDate(2025, 12, 31)},
        {QStringLiteral("zub-client --batch, layout 02, 46 escolas, ano (~100 p.)"), 1, hundredPages.join(','), QDate(2025, 1, 1), QDate(2025, 12, 31)},
        {QStringLiteral("zub-client --batch, layout 02, todas as escolas, ano (676 p.)"), 1, QStringLiteral("todas"), QDate(2025, 1, 1), QDate(2025, 12, 31)},
        {QStringLiteral("zub-client --batch, resumo (layout 03), todas as escolas, ano"), 2, QStringLiteral("todas"), QDate(2025, 1, 1), QDate(2025, 12, 31)},
    };
    for (const BatchCase &batch : cases) {
        QList<ClientRun> runs;
        for (int i = 0; i < repeat; ++i) {
            runs << runClient({"--config", config, "--batch", "imprimir", "--output", dir.filePath(QStringLiteral("lote.pdf")), "--filter",
                               QStringLiteral("relatorio=%1").arg(batch.layout), "--filter", "filiais=" + batch.branches, "--filter", "servicos=todos",
                               "--filter", "tiposCardapio=todos", "--filter", "estocaveis=true", "--filter", "naoEstocaveis=true", "--filter",
                               "diferenca=total", "--filter", "tipoCusto=Custo médio ponderado", "--filter",
                               "dataInicial=" + batch.start.toString("dd/MM/yyyy"), "--filter", "dataFinal=" + batch.end.toString("dd/MM/yyyy")});
        }
        QList<double> times;
        long peak = 0;
        for (const ClientRun &run : runs) {
            times << run.ms;
            peak = qMax(peak, run.peakKb);
        }
        table.set(batch.label, column, QStringLiteral("%1, pico %2 MB").arg(spread(times)).arg(peak / 1024));
    }

    server.terminate();
    server.waitForFinished();
}

} // namespace

int main(int argc, char *argv[])
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mede o caminho inteiro de um relatório ZUB011 no SQLite e no PostgreSQL."));
    parser.addHelpOption();
    parser.addOptions({
        {"database", "Banco (repetível): sqlite:ARQUIVO ou postgresql://... (recriado, salvo com --reuse).", "endereço"},
        {"branches", "Escolas da central (padrão 300).", "n", "300"},
        {"days", "Dias de histórico (padrão 365).", "n", "365"},
        {"centrals", "Centrais completas, cada uma com --branches escolas (padrão 1); mede-se a 0001.", "n", "1"},
        {"year-only", "Mede só o ano de todas as escolas da central 0001, a régua e o resumo (para comparar bancos com mais centrais)."},
        {"repeat", "Repetições medidas de cada caso (padrão 5); a mediana é mostrada.", "n", "5"},
        {"reuse", "Usa os bancos como estão, sem recriar os dados."},
        {"server", "Caminho do zub-server.", "arquivo", QCoreApplication::applicationDirPath() + "/zub-server"},
    });
    parser.process(app);
    const QStringList databases = parser.values("database");
    if (databases.isEmpty()) {
        say(QStringLiteral("zub-bench: informe ao menos um --database."));
        return 2;
    }
    for (const QString &database : databases) {
        QString error;
        if (!wire::DatabaseUrl::parse(database, &error)) {
            say(QStringLiteral("zub-bench: %1").arg(error));
            return 2;
        }
    }
    Table table;
    try {
        for (const QString &database : databases)
            measure(database, parser, table);
    } catch (const Failure &failure) {
        say(QStringLiteral("zub-bench: %1").arg(failure.message));
        return 1;
    } catch (const DbError &failure) {
        say(QStringLiteral("zub-bench: %1").arg(failure.message));
        return 1;
    } catch (const host::HostError &failure) {
        say(QStringLiteral("zub-bench: %1").arg(failure.text()));
        return 1;
    }
    table.print();
    return 0;
}
