// End to end: the real zub-server on a fresh demo database and the batch mode of the real
// zub-client printing each ZUB011 layout to PDF; the grand totals read back with pdftotext
// are checked against sums worked out here straight from the demo data.
#include "../server/serverharness.h"
#include "report/reportformat.h"
#include "report/reportrun.h"
#include "support/xlsxcells.h"
#include "wire/databaseurl.h"

#include <QImage>
#include <QJsonDocument>
#include <QRegularExpression>
#include <QSettings>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <thread>

namespace {
const QByteArray kToken = "token-do-lote-0123456789";

// Stands between the client and the server as HAProxy does, one request a connection, and answers
// the first call of one method with its own 502 page, as when the server behind it is lost during
// that call.
class FlakyBalancer
{
public:
    FlakyBalancer(quint16 server, QByteArray method) : m_server(server), m_method(std::move(method))
    {
        m_listen = ::socket(AF_INET, SOCK_STREAM, 0);
        sockaddr_in address{};
        address.sin_family = AF_INET;
        address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t size = sizeof address;
        ::bind(m_listen, reinterpret_cast<sockaddr *>(&address), size);
        ::listen(m_listen, 16);
        ::getsockname(m_listen, reinterpret_cast<sockaddr *>(&address), &size);
        m_port = ntohs(address.sin_port);
        m_thread = std::thread([this] {
            while (!m_stop) {
                pollfd waiting{m_listen, POLLIN, 0};
                if (::poll(&waiting, 1, 100) <= 0)
                    continue;
                if (const int client = ::accept(m_listen, nullptr, nullptr); client >= 0) {
                    serve(client);
                    ::close(client);
                }
            }
        });
    }
    ~FlakyBalancer()
    {
        m_stop = true;
        m_thread.join();
        ::close(m_listen);
    }
    quint16 port() const { return m_port; }
    int callsOfMethod() const { return m_calls; }

private:
    void serve(int client)
    {
        QByteArray request;
        qsizetype headerEnd = -1, length = 0;
        char buffer[65536];
        while (headerEnd < 0 || request.size() < headerEnd + 4 + length) {
            const ssize_t got = ::recv(client, buffer, sizeof buffer, 0);
            if (got <= 0)
                return;
            request.append(buffer, got);
            if (headerEnd < 0 && (headerEnd = request.indexOf("\r\n\r\n")) >= 0) {
                static const QRegularExpression contentLength("\r\ncontent-length:\\s*(\\d+)", QRegularExpression::CaseInsensitiveOption);
                length = contentLength.match(QString::fromLatin1(request.left(headerEnd))).captured(1).toLongLong();
            }
        }
        QByteArray status = "502 Bad Gateway", type = "text/html", body = "<html><body><h1>502 Bad Gateway</h1></body></html>";
        if (!request.contains(m_method) || m_calls++ > 0) {
            static const QRegularExpression connection("\r\nconnection:[^\r]*", QRegularExpression::CaseInsensitiveOption);
            const QString head = QString::fromLatin1(request.left(headerEnd)).remove(connection) + "\r\nConnection: close";
            const harness::HttpReply reply = harness::exchange(m_server, head.toLatin1() + request.mid(headerEnd));
            status = QByteArray::number(reply.status) + " Resposta";
            type = "application/json";
            body = reply.body;
        }
        const QByteArray answer = "HTTP/1.1 " + status + "\r\nContent-Type: " + type + "\r\nContent-Length: " + QByteArray::number(body.size())
                                  + "\r\nConnection: close\r\n\r\n" + body;
        ::send(client, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL);
    }

    quint16 m_server;
    QByteArray m_method;
    int m_listen = -1;
    quint16 m_port = 0;
    std::atomic<bool> m_stop{false};
    std::atomic<int> m_calls{0};
    std::thread m_thread;
};
} // namespace

class TstReportBatch : public QObject
{
    Q_OBJECT

    struct Site {
        QTemporaryDir dir;
        QString database;
        harness::ServerProcess server;
        QString config;
        std::unique_ptr<harness::PostgresScratch> scratch;
    };
    std::map<QString, std::unique_ptr<Site>> m_sites;

    // A demo database of the kind, its server, and a client configuration for branch 0101.
    Site *site(const QString &kind)
    {
        auto &slot = m_sites[kind];
        if (slot)
            return slot.get();
        auto made = std::make_unique<Site>();
        if (kind.startsWith("sqlite")) {
            made->database = "sqlite:" + made->dir.filePath("demo.db");
        } else {
            made->scratch = std::make_unique<harness::PostgresScratch>();
            QString why;
            made->database = made->scratch->open(&why);
            if (made->database.isEmpty()) {
                qWarning("%s", qPrintable(why));
                return nullptr;
            }
        }
        QString output;
        if (harness::runTool({"--database", made->database, "--create-demo"}, &output) != 0) {
            qWarning("%s", qPrintable(output));
            return nullptr;
        }
        QString error;
        // The log shows calls as they start, so a test knows when one reached the server.
        if (!made->server.start(made->database, kToken, {"--log-level", "debug"}, &error)) {
            qWarning("%s", qPrintable(error));
            return nullptr;
        }
        QFile token(made->dir.filePath("server.token"));
        token.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner);
        token.write(kToken);
        token.close();
        made->config = made->dir.filePath("client.ini");
        QSettings ini(made->config, QSettings::IniFormat);
        ini.setValue("sessao/filial", "0101");
        ini.setValue("sessao/operador", "OP01");
        ini.setValue("servidor/host", "127.0.0.1");
        ini.setValue("servidor/porta", made->server.port());
        ini.setValue("servidor/arquivo_token", "server.token");
        ini.sync();
        // The same site for operators: no shared token, the session gives branch and operator.
        QSettings signin(made->dir.filePath("operador.ini"), QSettings::IniFormat);
        signin.setValue("servidor/host", "127.0.0.1");
        signin.setValue("servidor/porta", made->server.port());
        signin.sync();
        slot = std::move(made);
        return slot.get();
    }

    static int runClient(const QStringList &arguments, QString *errors, const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment())
    {
        QProcess client;
        client.setProcessEnvironment(environment);
        client.setProcessChannelMode(QProcess::SeparateChannels);
        client.start(ZUB_CLIENT_BINARY, arguments);
        if (!client.waitForFinished(300000))
            return -1;
        *errors = QString::fromUtf8(client.readAllStandardError());
        return client.exitStatus() == QProcess::NormalExit ? client.exitCode() : -1;
    }

    static QSqlDatabase open(const QString &url, const QString &name)
    {
        const auto parsed = wire::DatabaseUrl::parse(url);
        QSqlDatabase db = QSqlDatabase::addDatabase(parsed->qtDriver(), name);
        parsed->applyTo(db);
        db.open();
        return db;
    }

    static double scalar(QSqlDatabase &db, const QString &sql)
    {
        QSqlQuery query(db);
        if (!query.exec(sql) || !query.next())
            qWarning("%s: %s", qPrintable(sql), qPrintable(query.lastError().text()));
        return query.value(0).toDouble();
    }

    static void bothDatabases()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgresql") << "postgresql";
    }

    // Planned and actual cost (type 1) of the central's active menu types from 15/02 to 10/04/2025
    // by a key of the day rows (ITCARDAPIO I beside the planned meals X).
    static QMap<QString, QPair<double, double>> costsBy(QSqlDatabase &db, const QString &plannedKey, const QString &actualKey)
    {
        const QString from = " JOIN FILIAL F ON F.CDFILIAL = X.CDFILIAL AND F.CDFILCENTZUB = '0001'"
                             " JOIN TIPOCARD T ON T.CDTIPOCARD = X.CDTIPOCARD AND T.IDTPCARDATIV = 'S' AND T.CDFILCENTZUB = '0001'";
        const QString days = " WHERE X.DTREFEICAO BETWEEN '2025-02-15' AND '2025-04-10' GROUP BY 1";
        QMap<QString, QPair<double, double>> found;
        QSqlQuery planned(db);
        if (!planned.exec("SELECT " + plannedKey + ", SUM(X.QTREFEPLAN * I.QTPERCAPITA * K.VRUNITARIO) FROM REFEPLAN X" + from
                          + " JOIN ITCARDAPIO I ON I.CDCARDAPIO = X.CDCARDAPIO JOIN CUSTOPROD K ON K.CDPRODUTO = I.CDPRODUTO AND K.NRTIPOCUSTO = 1" + days))
            qWarning("%s", qPrintable(planned.lastError().text()));
        while (planned.next())
            found[planned.value(0).toString()].first = planned.value(1).toDouble();
        QSqlQuery actual(db);
        if (!actual.exec("SELECT " + actualKey + ", SUM(X.QTCONSUMIDA * K.VRUNITARIO) FROM CONSREAL X" + from
                         + " JOIN CUSTOPROD K ON K.CDPRODUTO = X.CDPRODUTO AND K.NRTIPOCUSTO = 1" + days))
            qWarning("%s", qPrintable(actual.lastError().text()));
        while (actual.next())
            found[actual.value(0).toString()].second = actual.value(1).toDouble();
        return found;
    }

private Q_SLOTS:
    void eachLayoutPrintsTheDemoTotals_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int>("layout");
        QTest::addColumn<bool>("onlyNonStockables");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        const QDate march(2025, 3, 1), marchEnd(2025, 3, 31);
        QTest::newRow("sqlite, por serviço") << "sqlite" << 0 << false << march << marchEnd;
        QTest::newRow("sqlite, por filial agregada") << "sqlite" << 1 << false << march << marchEnd;
        QTest::newRow("postgresql, por serviço") << "postgresql" << 0 << false << march << marchEnd;
        QTest::newRow("postgresql, por filial agregada") << "postgresql" << 1 << false << march << marchEnd;
        // Nothing prepared: the layout reads the database itself, whole months and edges apart.
        QTest::newRow("sqlite, só não estocáveis, meses cortados") << "sqlite" << 0 << true << QDate(2025, 2, 10) << QDate(2025, 4, 15);
        QTest::newRow("postgresql, só não estocáveis, meses cortados") << "postgresql" << 1 << true << QDate(2025, 2, 10) << QDate(2025, 4, 15);
    }
    void eachLayoutPrintsTheDemoTotals()
    {
        QFETCH(QString, kind);
        QFETCH(int, layout);
        QFETCH(bool, onlyNonStockables);
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        const QString from = start.toString("dd/MM/yyyy"), to = end.toString("dd/MM/yyyy");
        Site *demo = site(kind);
        if (!demo && kind == "postgresql")
            QSKIP("PostgreSQL is not available here");
        QVERIFY(demo);
        const QString pdf = demo->dir.filePath(QStringLiteral("relatorio-%1.pdf").arg(layout));
        QFile filters(demo->dir.filePath("filtros.json"));
        QVERIFY(filters.open(QIODevice::WriteOnly));
        filters.write(QStringLiteral(R"({"filiais": "todas", "servicos": "todos", "tiposCardapio": "todos", "estocaveis": %1,
                          "naoEstocaveis": true, "diferenca": "total", "tipoCusto": "Custo médio ponderado"})")
                          .arg(onlyNonStockables ? "false" : "true")
                          .toUtf8());
        filters.close();
        QString errors;
        const int code = runClient({"--config", demo->config, "--batch", "imprimir", "--output", pdf, "--filters", filters.fileName(),
                                    "--filter", QStringLiteral("relatorio=%1").arg(layout), "--filter", "dataInicial=" + from,
                                    "--filter", "dataFinal=" + to},
                                   &errors);
        QVERIFY2(code == 0, qPrintable(errors));

        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(pdftotext.waitForFinished());
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY(text.contains(QStringLiteral("Período: %1 a %2").arg(from, to)));
        QVERIFY(text.contains("Tipo de custo: Custo médio ponderado"));
        static const QRegularExpression grand("Total geral\\s+([-\\d.,]+)\\s+([-\\d.,]+)\\s+([-\\d.,]+)");
        const QRegularExpressionMatch totals = grand.match(text);
        QVERIFY2(totals.hasMatch(), qPrintable(text.right(2000)));
        // The batch's PDF carries its run: the filters it was given, as the screen took them.
        const QJsonObject ran = host::ReportRun::read(pdf).value("execucao").toObject().value("filtros").toObject();
        QCOMPARE(ran.value("relatorio").toInt(), layout);
        QCOMPARE(ran.value("dataFinal").toString(), to);
        QCOMPARE(ran.value("tipoCusto").toString(), QString("Custo médio ponderado"));

        // The same sums straight from the day rows: the central's schools, its active menu
        // types, the period, cost type 1, the product types chosen.
        QSqlDatabase db = open(demo->database, "check-" + kind);
        const QString scope = "JOIN FILIAL F ON F.CDFILIAL = X.CDFILIAL AND F.CDFILCENTZUB = '0001'"
                              " JOIN TIPOCARD T ON T.CDTIPOCARD = X.CDTIPOCARD AND T.IDTPCARDATIV = 'S' AND T.CDFILCENTZUB = '0001'";
        const QString period = QStringLiteral(" WHERE X.DTREFEICAO BETWEEN '%1' AND '%2' AND (P.IDESTOCAVEL <> 'S' OR %3)")
                                   .arg(start.toString(Qt::ISODate), end.toString(Qt::ISODate), onlyNonStockables ? "1 = 0" : "1 = 1");
        const double planned = scalar(db, "SELECT SUM(X.QTREFEPLAN * I.QTPERCAPITA * K.VRUNITARIO) FROM REFEPLAN X " + scope
                                              + " JOIN ITCARDAPIO I ON I.CDCARDAPIO = X.CDCARDAPIO JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO"
                                                " JOIN CUSTOPROD K ON K.CDPRODUTO = I.CDPRODUTO AND K.NRTIPOCUSTO = 1" + period);
        const double actual = scalar(db, "SELECT SUM(X.QTCONSUMIDA * K.VRUNITARIO) FROM CONSREAL X " + scope
                                             + " JOIN PRODUTO P ON P.CDPRODUTO = X.CDPRODUTO"
                                               " JOIN CUSTOPROD K ON K.CDPRODUTO = X.CDPRODUTO AND K.NRTIPOCUSTO = 1" + period);
        QVERIFY(planned > 1000);
        QCOMPARE(totals.captured(1), host::ReportFormat::number(planned, 2));
        QCOMPARE(totals.captured(2), host::ReportFormat::number(actual, 2));
        QCOMPARE(totals.captured(3), host::ReportFormat::number(actual - planned, 2));

        // "salvar" to a .xlsx: the same grand totals, read back by another reader.
        const QString xlsx = demo->dir.filePath(QStringLiteral("relatorio-%1.xlsx").arg(layout));
        QVERIFY2(runClient({"--config", demo->config, "--batch", "salvar", "--output", xlsx, "--filters", filters.fileName(),
                            "--filter", QStringLiteral("relatorio=%1").arg(layout), "--filter", "dataInicial=" + from,
                            "--filter", "dataFinal=" + to},
                           &errors) == 0,
                 qPrintable(errors));
        const QList<double> sheetTotals = xlsxRowNumbers(xlsxCells(xlsx), "Total geral");
        QVERIFY2(sheetTotals.size() >= 3, qPrintable(QString::number(sheetTotals.size())));
        QCOMPARE(host::ReportFormat::number(sheetTotals[0], 2), totals.captured(1));
        QCOMPARE(host::ReportFormat::number(sheetTotals[1], 2), totals.captured(2));
        QCOMPARE(host::ReportFormat::number(sheetTotals[2], 2), totals.captured(3));
        // Both difference columns (quantity H, cost I) judge each row's planned (E) and actual (G) cost.
        QStringList rules;
        for (const QStringList &part : xlsxParts(xlsx))
            rules << part.value(2).left(1) + ' ' + part.value(3).section(QRegularExpression("\\d"), 0, 0) + ' ' + part.value(4);
        QCOMPARE(rules, (QStringList{"H OR(AND($E 1", "I OR(AND($E 1"}));

        // Nothing of the run is left on the server.
        for (const QString table : {"CONSPLAN", "ITCONSPLAN", "LISTA"})
            QCOMPARE(scalar(db, "SELECT COUNT(*) FROM " + table), 0.0);
        db.close();
    }

    // Days without served meals or consumption, or with consumption and nothing planned, are
    // told on stderr while the run goes on, and each output carries them above the data.
    void incompleteDataIsWarnedInEveryOutput_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("sqlite") << "sqlite";
        QTest::newRow("postgresql") << "postgresql";
    }
    void incompleteDataIsWarnedInEveryOutput()
    {
        QFETCH(QString, kind);
        Site *demo = site(kind);
        if (!demo && kind == "postgresql")
            QSKIP("PostgreSQL is not available here");
        QVERIFY(demo);
        {
            QSqlDatabase db = open(demo->database, "holes-" + kind);
            for (const QString &statement : {QStringLiteral("DELETE FROM REFESERV WHERE CDFILIAL = '0102' AND DTREFEICAO = '2025-04-08'"),
                                             QStringLiteral("DELETE FROM CONSREAL WHERE CDFILIAL = '0103' AND DTREFEICAO = '2025-04-09'"),
                                             QStringLiteral("INSERT INTO CONSREAL VALUES ('0104', '00020', '2025-04-12', '01', '0201001', 1.5)")})
                QVERIFY2(QSqlQuery(db).exec(statement), qPrintable(statement));
            db.close();
        }
        QSqlDatabase::removeDatabase("holes-" + kind);
        const QStringList lines{"Atenção: dados incompletos no período (nesses dias a diferença pode ser falta de registro, não desperdício)",
                                "Refeições planejadas sem refeições servidas registradas: 1 dia de filial: 0102 em 08/04/2025",
                                "Refeições planejadas sem consumo registrado: 1 dia de filial: 0103 em 09/04/2025",
                                "Refeições servidas ou consumo sem refeições planejadas: 1 dia de filial: 0104 em 12/04/2025"};
        const QStringList april{"--filter", "filiais=todas", "--filter", "dataInicial=01/04/2025", "--filter", "dataFinal=30/04/2025"};
        QMap<QString, QString> outputs;
        for (const auto &[command, suffix] : {std::pair{"imprimir", "pdf"}, {"salvar", "csv"}, {"salvar", "xlsx"}}) {
            const QString file = demo->dir.filePath(QStringLiteral("faltas.%1").arg(suffix));
            QString errors;
            QCOMPARE(runClient(QStringList{"--config", demo->config, "--batch", command, "--output", file} + april, &errors), 0);
            for (const QString &line : lines)
                QVERIFY2(errors.contains(line), qPrintable(errors));
            outputs.insert(suffix, file);
        }
        QProcess pdftotext;
        pdftotext.start("pdftotext", {outputs["pdf"], "-"});
        QVERIFY(pdftotext.waitForFinished());
        const QString pdfText = QString::fromUtf8(pdftotext.readAllStandardOutput()).section("\f", 0, 0);
        QFile csv(outputs["csv"]);
        QVERIFY(csv.open(QIODevice::ReadOnly));
        const QByteArray csvBytes = csv.readAll();
        QVERIFY(csvBytes.startsWith("\xEF\xBB\xBF"));
        const QStringList csvLines = QString::fromUtf8(csvBytes.mid(3)).split("\r\n");
        QStringList sheetTexts;
        for (const XlsxCell &cell : xlsxCells(outputs["xlsx"]))
            sheetTexts << cell.value;
        for (const QString &line : lines) {
            QVERIFY2(pdfText.simplified().contains(line.section(": ", -1)), qPrintable(pdfText));
            QVERIFY2(sheetTexts.contains(line), qPrintable(line));
        }
        // The CSV: the run's comment line, the notices, a blank line, then the table.
        QVERIFY(csvLines.value(0).startsWith("# {"));
        QCOMPARE(csvLines.mid(1, 5), lines + QStringList{QString()});
        QVERIFY(csvLines.value(6).startsWith("Serviço;"));
    }

    // The summary's months and its furthest items against sums worked out here from the demo
    // data; its PDF drawn with the chart and its labels; its XLSX with live charts and rules.
    void summaryMatchesTheData_data() { bothDatabases(); }
    void summaryMatchesTheData()
    {
        QFETCH(QString, kind);
        Site *demo = site(kind);
        if (!demo && kind == "postgresql")
            QSKIP("PostgreSQL is not available here");
        QVERIFY(demo);
        {
            // The demo uses less than planned of every product: an unplanned Saturday of meat
            // puts one over plan.
            QSqlDatabase db = open(demo->database, "carne-" + kind);
            QVERIFY(QSqlQuery(db).exec("INSERT INTO CONSREAL VALUES ('0104', '00020', '2025-02-22', '01', '0201001', 900)"));
            db.close();
        }
        QSqlDatabase::removeDatabase("carne-" + kind);
        // Partial months at both ends, so sums of months and of days meet.
        const QStringList run{"--filter", "relatorio=2", "--filter", "filiais=todas", "--filter", "tipoCusto=Custo médio ponderado",
                              "--filter", "dataInicial=15/02/2025", "--filter", "dataFinal=10/04/2025"};
        const QString xlsx = demo->dir.filePath("resumo.xlsx");
        const QString pdf = demo->dir.filePath("resumo.pdf");
        QString errors;
        QVERIFY2(runClient(QStringList{"--config", demo->config, "--batch", "salvar", "--output", xlsx} + run, &errors) == 0, qPrintable(errors));
        QVERIFY2(runClient(QStringList{"--config", demo->config, "--batch", "imprimir", "--output", pdf} + run, &errors) == 0, qPrintable(errors));

        QSqlDatabase db = open(demo->database, "resumo-" + kind);
        const QString month = "SUBSTR(CAST(X.DTREFEICAO AS TEXT), 6, 2) || '/' || SUBSTR(CAST(X.DTREFEICAO AS TEXT), 1, 4)";
        const auto months = costsBy(db, month, month);
        QCOMPARE(months.keys(), (QList<QString>{"02/2025", "03/2025", "04/2025"}));
        const QHash<QString, XlsxCell> cells = xlsxCells(xlsx);
        for (int i = 0; i < 3; ++i) {
            const QString row = QString::number(5 + i);
            const QString month = cells.value("sheet3!A" + row).value;
            QVERIFY2(months.contains(month), qPrintable(month));
            QCOMPARE(host::ReportFormat::number(cells.value("sheet3!B" + row).value.toDouble(), 2), host::ReportFormat::number(months[month].first, 2));
            QCOMPARE(host::ReportFormat::number(cells.value("sheet3!C" + row).value.toDouble(), 2), host::ReportFormat::number(months[month].second, 2));
            QCOMPARE(cells.value("sheet3!D" + row).kind, QString("f"));
        }
        // The ten products furthest over and under plan, in order.
        QList<QPair<double, QString>> byDifference;
        const auto products = costsBy(db, "I.CDPRODUTO", "X.CDPRODUTO");
        for (auto it = products.begin(); it != products.end(); ++it)
            byDifference.append({it->second - it->first, it.key()});
        std::sort(byDifference.begin(), byDifference.end());
        const auto listed = [&](const QString &heading) {
            QString row;
            for (auto it = cells.begin(); it != cells.end(); ++it) {
                if (it.key().startsWith("sheet1!A") && it->value == heading)
                    row = it.key().mid(8);
            }
            QStringList codes;
            for (int r = row.toInt() + 1; !row.isEmpty() && cells.contains(QStringLiteral("sheet1!B%1").arg(r)); ++r)
                codes << cells.value(QStringLiteral("sheet1!B%1").arg(r)).value;
            return codes;
        };
        QStringList over, under;
        for (int i = 0; i < 10; ++i) {
            if (byDifference[byDifference.size() - 1 - i].first > 0)
                over << byDifference[byDifference.size() - 1 - i].second;
            if (byDifference[i].first < 0)
                under << byDifference[i].second;
        }
        QVERIFY(!over.isEmpty() && !under.isEmpty());
        QCOMPARE(listed("Produtos acima do planejado"), over);
        QCOMPARE(listed("Produtos abaixo do planejado"), under);
        db.close();

        // Native charts over the Resumo cells, and the over-plan rule on the difference columns.
        QStringList charts, rules;
        for (const QStringList &part : xlsxParts(xlsx))
            (part[0] == "chart" ? charts : rules) << part.mid(2).join(' ');
        QCOMPARE(charts, (QStringList{"barChart Resumo!$A$5:$A$7 Resumo!$B$5:$B$7", "barChart Resumo!$A$5:$A$7 Resumo!$C$5:$C$7",
                                      "lineChart Resumo!$A$5:$A$7 Resumo!$D$5:$D$7"}));
        QCOMPARE(rules.size(), 2);
        for (const QString &rule : rules)
            QVERIFY2(QRegularExpression("^[FG]\\d+:[FG]\\d+ OR\\(AND\\(\\$D(\\d+)>0,\\$E\\1-\\$D\\1>\\$D\\1\\*0\\.1\\),AND\\(\\$D\\1<=0,\\$E\\1>0\\)\\) 1 \"▲ \"")
                         .match(rule).hasMatch(), qPrintable(rule));

        // The PDF: one or two pages, the chart's labels as text and its bars drawn on the first.
        QProcess pdftotext;
        pdftotext.start("pdftotext", {"-layout", pdf, "-"});
        QVERIFY(pdftotext.waitForFinished());
        const QString text = QString::fromUtf8(pdftotext.readAllStandardOutput());
        QVERIFY(text.count('\f') <= 2);
        for (const QString label : {"Custo planejado x realizado por mês (R$)", "Planejado", "Realizado", "02/2025", "04/2025",
                                     "Filiais acima do planejado", "Produtos abaixo do planejado"})
            QVERIFY2(text.contains(label), qPrintable(label));
        // The meat of the unplanned Saturday is over plan by more than 10 %: marked, and the mark explained.
        QVERIFY2(QRegularExpression("0201001\\s+Carne bovina moída\\s+[\\d.,]+\\s+[\\d.,]+\\s+▲ [\\d.,]+\\s+▲ [\\d,]+").match(text).hasMatch(), qPrintable(text));
        QVERIFY(text.contains("▲ em negrito: realizado mais de 10 % acima do planejado"));
        QProcess pdftoppm;
        pdftoppm.start("pdftoppm", {"-png", "-r", "40", "-f", "1", "-l", "1", "-singlefile", pdf, demo->dir.filePath("resumo")});
        QVERIFY(pdftoppm.waitForFinished() && pdftoppm.exitCode() == 0);
        const QImage page(demo->dir.filePath("resumo.png"));
        QVERIFY(!page.isNull());
        int actualBars = 0;
        for (int y = 0; y < page.height(); ++y) {
            for (int x = 0; x < page.width(); ++x)
                actualBars += qAbs(page.pixelColor(x, y).blue() - 120) < 12 && qAbs(page.pixelColor(x, y).red() - 40) < 12;
        }
        QVERIFY2(actualBars > 200, qPrintable(QString::number(actualBars)));
    }

    // An empty report names the filter that emptied it, on stderr and on the line before its text.
    void emptyReportSaysWhy_data() { bothDatabases(); }
    void emptyReportSaysWhy()
    {
        QFETCH(QString, kind);
        Site *demo = site(kind);
        if (!demo && kind == "postgresql")
            QSKIP("PostgreSQL is not available here");
        QVERIFY(demo);
        const QString reason = "Nenhuma filial da central tem refeições planejadas ou consumo registrado de 16/03/2025 a 16/03/2025.";
        const QString nothing = "Nenhum consumo planejado ou realizado encontrado para os filtros informados.";
        // The text ends with the reason and the empty line; the CSV (once without either) says them too.
        for (const auto &[command, name] : {std::pair{"texto", "vazio.txt"}, std::pair{"salvar", "vazio.csv"}}) {
            const QString file = demo->dir.filePath(name);
            QString errors;
            QCOMPARE(runClient({"--config", demo->config, "--batch", command, "--output", file, "--filter", "filiais=todas", "--filter",
                                "dataInicial=16/03/2025", "--filter", "dataFinal=16/03/2025"},
                               &errors),
                     0);
            QVERIFY2(errors.contains(reason), qPrintable(errors));
            QFile output(file);
            QVERIFY(output.open(QIODevice::ReadOnly));
            const QString content = QString::fromUtf8(output.readAll());
            QVERIFY2(content.contains(reason + (QLatin1String(command) == "texto" ? "\n" : "\r\n") + nothing), qPrintable(content.right(400)));
        }
    }

    void refusedFiltersAndBadInput_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("end before start") << QStringList{"--batch", "imprimir", "--filter", "dataInicial=10/03/2025", "--filter", "dataFinal=01/03/2025"}
                                          << 1 << "Erro: Data inicial deve ser menor ou igual a data final.";
        // Regression: a scheduled text ran without the checks and reported success.
        QTest::newRow("text without product types") << QStringList{"--batch", "texto", "--filter", "estocaveis=false", "--filter", "naoEstocaveis=false"}
                                                    << 1 << "Erro: Tipo de produto deve ser informado";
        // Regression: a code not on file gave an empty report and exit 0; a grouping not on file exit 2.
        QTest::newRow("branch not on file") << QStringList{"--batch", "salvar", "--filter", "filiais=0101,0199"}
                                            << 1 << "o código 0199 não está cadastrado";
        QTest::newRow("grouping not on file") << QStringList{"--batch", "salvar", "--filter", "agrupamento=77"}
                                              << 1 << "Agrupamento de filiais não cadastrado.";
        QTest::newRow("unknown command") << QStringList{"--batch", "desenhar"} << 2 << "Comando de lote desconhecido";
        QTest::newRow("malformed filter") << QStringList{"--batch", "salvar", "--filter", "semvalor"} << 2 << "use --filter chave=valor";
    }
    void refusedFiltersAndBadInput()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        Site *demo = site("sqlite");
        QVERIFY(demo);
        const QString pdf = demo->dir.filePath("recusado.pdf");
        QString errors;
        QCOMPARE(runClient(QStringList{"--config", demo->config, "--output", pdf} + arguments, &errors), exitCode);
        QVERIFY2(errors.contains(message), qPrintable(errors));
        QVERIFY(!QFileInfo::exists(pdf));
    }

    // SIGTERM in the middle of a preparation (held up by another writer's lock): the run stops,
    // says so, and leaves neither a file nor rows on the server.
    void stopSignalLeavesNothingBehind_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<bool>("signedIn");
        QTest::newRow("shared token") << "sqlite" << false;
        // Its session ends too. On PostgreSQL the lock on the plans leaves the sign-in free.
        QTest::newRow("signed-in operator") << "postgresql" << true;
    }
    void stopSignalLeavesNothingBehind()
    {
        QFETCH(QString, kind);
        QFETCH(bool, signedIn);
        Site *demo = site(kind);
        QVERIFY(demo);
        const QString pdf = demo->dir.filePath("interrompido.pdf");
        // Only this run's calls: the site's server served the file's earlier runs too.
        const qsizetype logStart = demo->server.output().size();
        const auto logSince = [&] { return demo->server.output().mid(logStart); };
        QSqlDatabase writer = open(demo->database, "writer-" + kind);
        const QStringList lock = kind == "sqlite" ? QStringList{"BEGIN IMMEDIATE"} : QStringList{"BEGIN", "LOCK TABLE CONSPLAN, LISTA IN EXCLUSIVE MODE"};
        for (const QString &statement : lock)
            QVERIFY(QSqlQuery(writer).exec(statement));
        QProcess client;
        if (signedIn) {
            QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
            environment.insert("ZUB_OPERADOR", "ESC0101");
            environment.insert("ZUB_SENHA", "escola0101");
            client.setProcessEnvironment(environment);
        }
        client.start(ZUB_CLIENT_BINARY, {"--config", signedIn ? demo->dir.filePath("operador.ini") : demo->config, "--output", pdf, "--batch",
                                          "imprimir", "--filter", "dataInicial=01/01/2025", "--filter", "dataFinal=31/12/2025"});
        QString errors;
        QTRY_VERIFY_WITH_TIMEOUT((errors += QString::fromUtf8(client.readAllStandardError())).contains("Preparando os dados"), 60000);
        QTRY_VERIFY_WITH_TIMEOUT(logSince().contains("ExecStpConsPlan iniciada"), 30000);
        client.terminate();
        QVERIFY(client.waitForFinished(30000));
        // The lock is kept until the server has ended the call: released earlier, a busy machine
        // could let the preparation finish before the server hears the client has gone.
        QTRY_VERIFY_WITH_TIMEOUT(logSince().contains(QRegularExpression("ExecStpConsPlan \\d+ ms cancelada")), 30000);
        QSqlQuery(writer).exec("ROLLBACK");
        errors += QString::fromUtf8(client.readAllStandardError());
        QCOMPARE(client.exitStatus(), QProcess::NormalExit);
        QCOMPARE(client.exitCode(), 3);
        QVERIFY2(errors.contains("interrompida"), qPrintable(errors));
        QVERIFY(!QFileInfo::exists(pdf));
        for (const QString table : {"CONSPLAN", "ITCONSPLAN", "LISTA", "SESSAO"})
            QCOMPARE(scalar(writer, "SELECT COUNT(*) FROM " + table), 0.0);
        writer.close();
    }

    // Killed while it writes, a run leaves no truncated file under the output's name.
    void killedMidWriteLeavesNoPartialFile()
    {
        // A site of its own: the killed run leaves its plan for the sweeper.
        Site *demo = site("sqlite-morto");
        QVERIFY(demo);
        const QString config = demo->dir.filePath("central.ini");
        QFile::remove(config);
        QVERIFY(QFile::copy(demo->config, config));
        QSettings(config, QSettings::IniFormat).setValue("sessao/filial", "0001"); // the central's ten pages
        const QString pdf = demo->dir.filePath("morto.pdf");
        QProcess client;
        QString errors;
        connect(&client, &QProcess::readyReadStandardError, this, [&] {
            errors += QString::fromUtf8(client.readAllStandardError());
            if (errors.contains("Página 1 de") && client.state() == QProcess::Running)
                client.kill();
        });
        client.start(ZUB_CLIENT_BINARY, {"--config", config, "--output", pdf, "--batch", "imprimir", "--filter", "dataInicial=01/01/2025",
                                          "--filter", "dataFinal=31/12/2025", "--filter", "relatorio=1", "--filter", "nivel=1"});
        QVERIFY(client.waitForFinished(60000));
        QVERIFY2(errors.contains("Página 1 de"), qPrintable(errors.right(600)));
        QCOMPARE(client.exitStatus(), QProcess::CrashExit);
        QVERIFY(!QFileInfo::exists(pdf));
    }

    void scheduledTextLeavesNothingBehind()
    {
        Site *demo = site("sqlite");
        QVERIFY(demo);
        const QString text = demo->dir.filePath("relatorio.txt");
        QString errors;
        // One code alone is a list of one.
        QCOMPARE(runClient({"--config", demo->config, "--output", text, "--batch", "texto", "--filter", "dataInicial=01/03/2025",
                            "--filter", "dataFinal=07/03/2025", "--filter", "filiais=0101"}, &errors), 0);
        QFile file(text);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(file.readAll());
        QVERIFY2(report.contains("Filiais: 0101\n"), qPrintable(report.left(600)));
        QVERIFY(report.contains("Total geral"));
        QSqlDatabase db = open(demo->database, "check-text");
        for (const QString table : {"CONSPLAN", "ITCONSPLAN", "LISTA"})
            QCOMPARE(scalar(db, "SELECT COUNT(*) FROM " + table), 0.0);
        db.close();
    }

    // The server behind the balancer lost while the report's rows were read: nothing reached the
    // file, so the run cleans up, prepares the report again, once, and ends with it. Lost at the
    // clean-up, after the file was written whole, the run says so and ends: the batch printed
    // twice once.
    void aRunThatLostItsServerIsTriedOnceMore_data()
    {
        QTest::addColumn<QString>("lostAt");
        QTest::addColumn<int>("exitCode");
        QTest::newRow("while the rows were read") << "DadosRelatorio" << 0;
        QTest::newRow("at the clean-up") << "DelConsPlan" << 1;
    }
    void aRunThatLostItsServerIsTriedOnceMore()
    {
        QFETCH(QString, lostAt);
        QFETCH(int, exitCode);
        // A failed clean-up leaves its plan for the sweeper: a site of its own then.
        Site *demo = site(exitCode == 0 ? "sqlite" : "sqlite-sem-limpeza");
        QVERIFY(demo);
        FlakyBalancer balancer(quint16(demo->server.port()), lostAt.toLatin1());
        const QString config = demo->dir.filePath("balanceador.ini");
        QFile::remove(config);
        QVERIFY(QFile::copy(demo->config, config));
        QSettings(config, QSettings::IniFormat).setValue("servidor/porta", balancer.port());
        const QString pdf = demo->dir.filePath("de-novo.pdf");
        QFile::remove(pdf);
        QString errors;
        QCOMPARE(runClient({"--config", config, "--output", pdf, "--batch", "imprimir", "--filter", "dataInicial=01/03/2025",
                            "--filter", "dataFinal=07/03/2025", "--filter", "filiais=0101"}, &errors), exitCode);
        QVERIFY2(errors.contains("Servidor ocupado/indisponível, tente novamente"), qPrintable(errors));
        QCOMPARE(errors.contains("Tentando mais uma vez."), exitCode == 0);
        QCOMPARE(balancer.callsOfMethod() > 1, exitCode == 0); // the report again, or one clean-up only
        QVERIFY(QFileInfo(pdf).size() > 0);
        if (exitCode == 0) {
            QSqlDatabase db = open(demo->database, "check-retry");
            for (const QString table : {"CONSPLAN", "LISTA"})
                QCOMPARE(scalar(db, "SELECT COUNT(*) FROM " + table), 0.0);
            db.close();
        }
    }

    void signedInOperators_data()
    {
        QTest::addColumn<QByteArray>("credentials"); // the file's content; empty: from the environment
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("expected"); // in the report, or in the messages of a refusal
        QTest::newRow("central operator from a file") << QByteArray("operador=CEN0001\nsenha=central0001\n") << 0600 << 0
                                                      << "Operador: CEN0001 - Operador da Central 0001\n";
        // A school's operator is held to its branch without asking for it.
        QTest::newRow("school operator from the environment") << QByteArray() << 0 << 0 << "Filiais: 0101\n";
        QTest::newRow("file others may read") << QByteArray("operador=CEN0001\nsenha=central0001\n") << 0644 << 2 << "acessível a outros usuários";
        QTest::newRow("wrong password") << QByteArray("operador=CEN0001\nsenha=errada-mesmo\n") << 0600 << 2 << "Operador ou senha incorretos.";
    }
    void signedInOperators()
    {
        QFETCH(QByteArray, credentials);
        QFETCH(int, fileMode);
        QFETCH(int, exitCode);
        QFETCH(QString, expected);
        Site *demo = site("sqlite");
        QVERIFY(demo);
        QStringList arguments{"--config", demo->dir.filePath("operador.ini"), "--output", demo->dir.filePath("operador.txt"), "--batch",
                              "texto", "--filter", "dataInicial=01/03/2025", "--filter", "dataFinal=07/03/2025"};
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (credentials.isEmpty()) {
            environment.insert("ZUB_OPERADOR", "ESC0101");
            environment.insert("ZUB_SENHA", "escola0101");
        } else {
            const QString file = demo->dir.filePath("credenciais");
            QFile::remove(file);
            QFile write(file);
            QVERIFY(write.open(QIODevice::WriteOnly));
            write.write(credentials);
            write.close();
            QVERIFY(::chmod(qPrintable(file), mode_t(fileMode)) == 0);
            arguments << "--credentials" << file;
        }
        QFile::remove(demo->dir.filePath("operador.txt"));
        QString errors;
        QCOMPARE(runClient(arguments, &errors, environment), exitCode);
        if (exitCode != 0) {
            QVERIFY2(errors.contains(expected), qPrintable(errors));
            return;
        }
        QFile file(demo->dir.filePath("operador.txt"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(file.readAll());
        QVERIFY2(report.contains(expected), qPrintable(report.left(800)));
        QVERIFY(report.contains("Total geral"));
        // The session deleted what it made: the server lets only its maker delete it.
        QSqlDatabase db = open(demo->database, "check-operator");
        for (const QString table : {"CONSPLAN", "ITCONSPLAN", "LISTA", "SESSAO"})
            QCOMPARE(scalar(db, "SELECT COUNT(*) FROM " + table), 0.0);
        db.close();
    }

    // --preset: the operator's saved filter, its period resolved on the day of the run, --filter
    // over it; a code no longer on file is told and left out, an unknown name fails the run.
    void savedFilterRuns_data()
    {
        const QDate firstOfMonth(QDate::currentDate().year(), QDate::currentDate().month(), 1);
        const QString previousMonth = QStringLiteral("Período: %1 a %2\n")
                                          .arg(firstOfMonth.addMonths(-1).toString("dd/MM/yyyy"), firstOfMonth.addDays(-1).toString("dd/MM/yyyy"));
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QStringList>("inReport");
        QTest::addColumn<QString>("message"); // on stderr
        QTest::newRow("dates over the saved period")
            << QStringList{"--preset", "Escolas do norte", "--filter", "dataInicial=03/03/2025", "--filter", "dataFinal=07/03/2025"} << 0
            << QStringList{"Filiais: 0101, 0102\n", "Período: 03/03/2025 a 07/03/2025\n", "Total geral"} << "filiais agregadas 0199";
        QTest::newRow("period resolved today") << QStringList{"--preset", "Escolas do norte"} << 0 << QStringList{previousMonth}
                                               << "filiais agregadas 0199";
        QTest::newRow("unknown name") << QStringList{"--preset", "Nenhum assim"} << 1 << QStringList{}
                                      << "Filtro salvo \"Nenhum assim\" não encontrado.";
        QTest::newRow("empty name") << QStringList{"--preset", " "} << 2 << QStringList{} << "Informe o nome dos filtros salvos em --preset.";
    }
    void savedFilterRuns()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QStringList, inReport);
        QFETCH(QString, message);
        Site *demo = site("sqlite");
        QVERIFY(demo);
        const QByteArray token = demo->server.signIn("CEN0001", "central0001");
        const QJsonObject saved{{"filiais", QJsonArray{"0101", "0102", "0199"}}, {"periodo", "mês anterior"},
                                {"tipoCusto", "Custo médio ponderado"}, {"diferenca", "total"}};
        const QJsonObject answer = demo->server.callWith(token, harness::kPlanObject, "SalvaFiltro", {"Escolas do norte", saved, "S"});
        QVERIFY2(answer.value("result").toObject().value("answer").toObject().value("ok").toBool(), QJsonDocument(answer).toJson().constData());

        const QString text = demo->dir.filePath("filtro-salvo.txt");
        QFile::remove(text);
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("ZUB_OPERADOR", "CEN0001");
        environment.insert("ZUB_SENHA", "central0001");
        QString errors;
        QCOMPARE(runClient(QStringList{"--config", demo->dir.filePath("operador.ini"), "--output", text, "--batch", "texto"} + arguments,
                           &errors, environment),
                 exitCode);
        QVERIFY2(errors.contains(message), qPrintable(errors));
        if (exitCode != 0) {
            QVERIFY(!QFileInfo::exists(text));
            return;
        }
        QFile file(text);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QString report = QString::fromUtf8(file.readAll());
        for (const QString &expected : inReport)
            QVERIFY2(report.contains(expected), qPrintable(expected + "\n" + report.left(800)));
    }
};

QTEST_MAIN(TstReportBatch)
#include "tst_reportbatch.moc"
