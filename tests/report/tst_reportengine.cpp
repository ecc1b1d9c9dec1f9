// The report engine on the ZUB011 layouts over a small seeded database: whole reports against
// reference text, totals by hand, restrictions by the stored lists, and PostgreSQL alike.
#include "../server/serverharness.h"
#include "host/data/dbgeral.h"
#include "host/data/errors.h"
#include "host/work/longwork.h"
#include "report/reportengine.h"
#include "report/reportlayout.h"
#include "reportseed.h"
#include "wire/databaseurl.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

using Changes = QMap<QString, QString>;

using namespace host;

class TstReportEngine : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    TdtmDBGeral m_geral;
    QList<ReportLayout> m_layouts;

    // Opens `url`, fills it with the seed, and reopens it read-only as the client does.
    static void seedAndOpen(const QString &url, TdtmDBGeral &geral)
    {
        {
            const auto parsed = wire::DatabaseUrl::parse(url);
            QSqlDatabase db = QSqlDatabase::addDatabase(parsed->qtDriver(), "seed");
            parsed->applyTo(db);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            reportseed::seed(db);
            db.close();
        }
        QSqlDatabase::removeDatabase("seed");
        geral.open(*wire::DatabaseUrl::parse(url));
    }

    QString render(TdtmDBGeral &geral, int layout, const TParams &params)
    {
        // Codes read through the product picture, as the client shows them.
        ReportDocument document = ReportEngine(geral.adcGeral(), TPictObj("99.99.999")).build("ZUB011", m_layouts.at(layout), params);
        document.setGeneratedAt(QDateTime(QDate(2025, 4, 2), QTime(7, 30)));
        return document.toText();
    }

    static QString lastLine(const QString &text) { return text.trimmed().section('\n', -1); }

    // The seed's parameters (total difference, no level) with some changed; dates as yyyy-mm-dd.
    static TParams changed(const Changes &changes)
    {
        TParams params = reportseed::params("T", 0);
        for (auto it = changes.begin(); it != changes.end(); ++it) {
            TParam &param = params.ParamByName(it.key());
            if (param.DataType == ParamType::DateTime)
                param.setAsDateTime(QDateTime(QDate::fromString(it.value(), Qt::ISODate), QTime(0, 0)));
            else
                param.setAsString(it.value());
        }
        return params;
    }

    void referenceCases()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<QString>("difference");
        QTest::addColumn<int>("level");
        QTest::newRow("por-servico-total") << 0 << "T" << 0;
        QTest::newRow("por-filial-percapita") << 1 << "P" << 0;
        QTest::newRow("por-servico-nivel") << 0 << "T" << 1;
    }

    void compareWithReference(TdtmDBGeral &geral)
    {
        QFETCH(int, layout);
        QFETCH(QString, difference);
        QFETCH(int, level);
        const QString text = render(geral, layout, reportseed::params(difference, level));
        QFile expected(QStringLiteral(ZUB_REPORT_EXPECTED "/%1.txt").arg(QTest::currentDataTag()));
        if (qEnvironmentVariableIsSet("ZUB_WRITE_EXPECTED")) {
            QVERIFY(expected.open(QIODevice::WriteOnly));
            expected.write(text.toUtf8());
            return;
        }
        QVERIFY2(expected.open(QIODevice::ReadOnly), qPrintable(expected.fileName()));
        QCOMPARE(text, QString::fromUtf8(expected.readAll()));
    }

private Q_SLOTS:
    void initTestCase()
    {
        seedAndOpen("sqlite:" + m_dir.filePath("geral.db"), m_geral);
        m_layouts = ReportLayout::loadFolder(ZUB_SOURCE_DIR "/reports/ZUB011");
        QCOMPARE(m_layouts.size(), 3);
    }

    void wholeReports_data() { referenceCases(); }
    void wholeReports() { compareWithReference(m_geral); }

    // Totals worked out by hand from the seed (cost type 1: rice 5,00, beans 8,00, lettuce 1,50).
    void grandTotals_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("total");
        QTest::newRow("por serviço") << 0 << Changes{} << "2.580,00 2.559,00 -21,00";
        QTest::newRow("por filial: as mesmas somas") << 1 << Changes{} << "2.580,00 2.559,00 -21,00";
        QTest::newRow("lista de serviços restrita") << 0 << Changes{{"P_LISTASERVICO", "0000000021"}} << "2.400,00 2.471,00 71,00";
        QTest::newRow("só não estocáveis: só alface") << 0 << Changes{{"P_IDESTOCAVEIS", "N"}} << "UN 430,000 645,00 418,000 627,00 -12,000 -18,00";
        // Stockable products only: all in kilograms, so the quantities add up too.
        QTest::newRow("só estocáveis: o plano consolidado") << 1 << Changes{{"P_IDNESTOCAVEIS", "N"}}
                                                            << "KG 322,500 1.935,00 325,500 1.932,00 3,000 -3,00";
        QTest::newRow("outro plano consolidado") << 0 << Changes{{"P_IDNESTOCAVEIS", "N"}, {"P_NRCONSPLAN", "0000000009"}}
                                                 << "KG 5.000,000 25.000,00 325,500 1.932,00 -4.674,500 -23.068,00";
        // School 0101: rice 10 and beans 5 planned, rice 9 used; lettuce 20 planned, 18 used.
        QTest::newRow("uma escola: o plano e a lista só dela") << 0 << Changes{{"P_NRCONSPLAN", "0000000002"}, {"P_NRLISTAFILI", "0000000014"}}
                                                             << "120,00 72,00 -48,00";
        QTest::newRow("filiais restritas pela lista") << 1 << Changes{{"P_NRLISTAFILI", "0000000014"}} << "120,00 72,00 -48,00";
        QTest::newRow("só não estocáveis de uma escola") << 0 << Changes{{"P_IDESTOCAVEIS", "N"}, {"P_NRLISTAFILI", "0000000014"}}
                                                         << "UN 20,000 30,00 18,000 27,00 -2,000 -3,00";
        QTest::newRow("dia sem realizado") << 0 << Changes{{"P_NRCONSPLAN", "0000000003"}} << "12,00 0,00 -12,00";
    }
    void grandTotals()
    {
        QFETCH(int, layout);
        QFETCH(Changes, changes);
        QFETCH(QString, total);
        const QStringList words = lastLine(render(m_geral, layout, changed(changes))).split(' ', Qt::SkipEmptyParts);
        QCOMPARE(words.mid(0, 2).join(' '), QStringLiteral("Total geral"));
        QCOMPARE(words.mid(2).join(' '), total);
    }

    // With no preparation (only non-stockables) the layouts take whole months from the monthly
    // sums and only the days around them from the day rows: the totals of reading every day row.
    void periodsThatCutMonthsAddUpAsTheirDays_data()
    {
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::newRow("dias de dois meses") << "2025-03-15" << "2025-04-01";
        QTest::newRow("mês inteiro e um dia") << "2025-03-01" << "2025-04-01";
        QTest::newRow("dias antes de um mês inteiro") << "2025-02-20" << "2025-03-31";
        QTest::newRow("dois meses inteiros") << "2025-03-01" << "2025-04-30";
        QTest::newRow("um dia") << "2025-03-31" << "2025-03-31";
    }
    void periodsThatCutMonthsAddUpAsTheirDays()
    {
        QFETCH(QString, start);
        QFETCH(QString, end);
        const TParams split = changed({{"P_IDESTOCAVEIS", "N"}, {"P_DTINICIAL", start}, {"P_DTFINAL", end}});
        // The same run told that the period has no whole month: every day from the day rows.
        TParams days = split;
        const QDate first = QDate::fromString(start, Qt::ISODate);
        const QDate last = QDate::fromString(end, Qt::ISODate);
        for (const auto &[name, day] : QList<QPair<const char *, QDate>>{{"P_DTMESESINI", last.addDays(1)}, {"P_DTMESESFIM", last},
                                                                          {"P_DTDIAS1INI", first}, {"P_DTDIAS1FIM", last},
                                                                          {"P_DTDIAS2INI", last.addDays(1)}, {"P_DTDIAS2FIM", last}})
            days.declare(name).setAsDateTime(QDateTime(day, QTime(0, 0)));
        for (const int layout : {0, 1}) {
            const QString total = lastLine(render(m_geral, layout, split));
            QVERIFY2(total.startsWith("Total geral") && !total.endsWith(" 0,00 0,00"), qPrintable(total));
            QCOMPARE(total, lastLine(render(m_geral, layout, days)));
        }
    }

    // The days whose records are missing, from the prepared plan or, with no preparation (only
    // non-stockable products), from the day rows; one line per kind, none for a complete period.
    void noticesNameTheIncompleteDays_data()
    {
        QTest::addColumn<bool>("onPostgres");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QStringList>("lines");
        const QString noServed = "Refeições planejadas sem refeições servidas registradas: 1 dia de filial: 0102 em 02/04/2025";
        const QString noConsumption = "Refeições planejadas sem consumo registrado: 1 dia de filial: 0102 em 02/04/2025";
        const Changes fromDays{{"P_IDESTOCAVEIS", "N"}, {"P_DTINICIAL", "2025-04-01"}, {"P_DTFINAL", "2025-04-05"}};
        QTest::newRow("preparado, período completo") << false << Changes{} << QStringList{};
        QTest::newRow("preparado, dia sem realizado") << false << Changes{{"P_NRCONSPLAN", "0000000003"}} << QStringList{noServed, noConsumption};
        const QStringList days{noServed, noConsumption, "Refeições servidas ou consumo sem refeições planejadas: 1 dia de filial: 0101 em 05/04/2025"};
        QTest::newRow("sem preparo, lido dos dias") << false << fromDays << days;
        QTest::newRow("sem preparo, lido dos dias, postgresql") << true << fromDays << days;
        Changes otherSchool = fromDays;
        otherSchool.insert("P_NRLISTAFILI", "0000000014");
        QTest::newRow("sem preparo, só a escola 0101") << false << otherSchool << QStringList{days.last()};
        QTest::newRow("sem preparo, período completo") << false << Changes{{"P_IDESTOCAVEIS", "N"}} << QStringList{};
    }
    void noticesNameTheIncompleteDays()
    {
        QFETCH(bool, onPostgres);
        QFETCH(Changes, changes);
        QFETCH(QStringList, lines);
        QString url;
        TdtmDBGeral *geral = onPostgres ? postgres(&url) : &m_geral;
        if (!geral)
            QSKIP(qPrintable(url));
        const ReportDocument document = ReportEngine(geral->adcGeral()).build("ZUB011", m_layouts.at(0), changed(changes));
        QStringList found;
        for (const ReportDocument::HeaderLine &line : document.noticeLines())
            found.append(line.label + ": " + line.text);
        QCOMPARE(found, lines);
        QCOMPARE(document.noticeTexts().value(0), lines.isEmpty() ? QString() : m_layouts.at(0).notices.title);
    }

    // A different cost type prices the same quantities; a product without a cost costs nothing.
    void costType()
    {
        TParams params = reportseed::params("T", 0);
        params.ParamByName("P_NRTIPOCUSTO").setAsInteger(2);
        QCOMPARE(lastLine(render(m_geral, 0, params)).split(' ', Qt::SkipEmptyParts).mid(2).join(' '),
                 QStringLiteral("21.285,00 22.176,00 891,00"));
    }

    // Regression: a report over one menu type and one service group read like one over all.
    void headerNamesWhatIsInForce_data()
    {
        QTest::addColumn<int>("layout");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("label");
        QTest::addColumn<int>("limit"); // 0: as the layout says
        QTest::addColumn<QString>("expected");
        QTest::newRow("um tipo de cardápio") << 0 << Changes{} << "Tipos de cardápio" << 0 << "T1 - Regular";
        QTest::newRow("todos os ativos") << 1 << Changes{{"P_LISTATIPOCARD", "0000000022"}} << "Tipos de cardápio" << 0
                                         << "Todos (exceto os inativos: T3 - Férias)";
        QTest::newRow("todos os serviços") << 1 << Changes{} << "Serviços" << 0 << "Todos";
        QTest::newRow("todos os grupos") << 0 << Changes{} << "Grupos de serviço" << 0 << "Todos";
        QTest::newRow("um serviço") << 0 << Changes{{"P_LISTASERVICO", "0000000021"}} << "Serviços" << 0 << "00010 - Almoço";
        QTest::newRow("um grupo") << 1 << Changes{{"P_LISTASERVICO", "0000000021"}} << "Grupos de serviço" << 0 << "001 - Principais";
        QTest::newRow("lista longa encurtada") << 0 << Changes{} << "Filiais" << 1 << "0101 e mais 1";
    }
    void headerNamesWhatIsInForce()
    {
        QFETCH(int, layout);
        QFETCH(Changes, changes);
        QFETCH(QString, label);
        QFETCH(int, limit);
        QFETCH(QString, expected);
        ReportLayout chosen = m_layouts.at(layout);
        for (ReportLayout::HeaderLine &line : chosen.header) {
            if (line.label == label && limit > 0)
                line.limit = limit;
        }
        const ReportDocument document = ReportEngine(m_geral.adcGeral()).build("ZUB011", chosen, changed(changes));
        QStringList found;
        for (const ReportDocument::HeaderLine &line : document.headerLines()) {
            if (line.label == label)
                found.append(line.text);
        }
        QCOMPARE(found, QStringList{expected});
    }

    // Regression: grouped by level, litres and kilograms were added under one blank unit.
    void quantitiesAddUpInOneUnitOnly_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<Changes>("changes");
        QTest::addColumn<QString>("line"); // the start of the line looked at
        QTest::addColumn<QString>("expected");
        // April: dairy used on the 1st, 10 meals planned on the 2nd (2 lettuces) and nothing used.
        const Changes april{{"P_DTINICIAL", "2025-04-01"}, {"P_DTFINAL", "2025-04-30"}, {"P_IDESTOCAVEIS", "N"}};
        QTest::newRow("grupo de uma unidade") << 1 << april << "02 " << "02 Hortifrúti UN 142,000 213,00 0,000 0,00 -142,000 -213,00";
        QTest::newRow("grupo de duas unidades: só custos") << 1 << april << "03 " << "03 Laticínios 0,00 100,00 100,00";
        QTest::newRow("subtotal de duas unidades") << 1 << april << "Total do serviço 00010" << "Total do serviço 00010 213,00 100,00 -113,00";
        QTest::newRow("total de uma unidade") << 0 << Changes{{"P_IDNESTOCAVEIS", "N"}} << "Total geral"
                                              << "Total geral KG 322,500 1.935,00 325,500 1.932,00 3,000 -3,00";
    }
    void quantitiesAddUpInOneUnitOnly()
    {
        QFETCH(int, level);
        QFETCH(Changes, changes);
        QFETCH(QString, line);
        QFETCH(QString, expected);
        TParams params = changed(changes);
        params.ParamByName("P_NIVEL").setAsString(level > 0 ? "S" : "N");
        params.ParamByName("P_NRTAMACNIVEL").setAsInteger(2 * level);
        QStringList found;
        for (const QString &text : render(m_geral, 0, params).split('\n')) {
            if (text.startsWith(line))
                found.append(text.split(' ', Qt::SkipEmptyParts).join(' '));
        }
        QCOMPARE(found, QStringList{expected});
    }

    // Groups open and close on a change of their field, each footer adds its rows (the innermost
    // group's own values once), and the grand total adds the outer groups.
    void groupsAndTotalsFromRowsInMemory()
    {
        ReportLayout layout;
        layout.queries.append({QStringLiteral("linhas"), {}});
        layout.groups = {{"ESCOLA", "Escola", "{ESCOLA}", {}, {}}, {"SERVICO", "Serviço", "{SERVICO}", {}, {}}};
        ReportLayout::Column product{"PRODUTO", "Produto", 10};
        ReportLayout::Column cost{"VRCUSTO", "Custo", 10, ReportLayout::Format::Number};
        cost.total = true;
        ReportLayout::Column meals{"QTREFEICOES", "Refeições", 6, ReportLayout::Format::Integer};
        meals.total = true;
        layout.columns = {product, cost, meals};
        layout.sums = {"VRCUSTO"};
        layout.groupValues = {"QTREFEICOES"};
        auto row = [](const char *school, const char *service, const char *item, double value) {
            return QVariantMap{{"ESCOLA", school}, {"SERVICO", service}, {"PRODUTO", item}, {"VRCUSTO", value}, {"QTREFEICOES", 10}};
        };
        const QList<QVariantMap> rows = {row("A", "1", "arroz", 2), row("A", "1", "feijão", 3), row("A", "2", "pão", 4),
                                         row("B", "1", "leite", 5)};
        const ReportDocument document = ReportEngine([&rows](const ReportLayout::Query &, const TParams &) { return rows; })
                                            .build("ZUB011", layout, TParams());
        QStringList bands;
        for (const ReportDocument::Band &band : document.bands())
            bands << QStringLiteral("%1:%2:%3:%4").arg(int(band.kind)).arg(band.text).arg(band.values.value(1).toString(),
                                                                                   band.values.value(2).toString());
        using Kind = ReportDocument::BandKind;
        auto band = [](Kind kind, const QString &text, const QString &cost = {}, const QString &meals = {}) {
            return QStringLiteral("%1:%2:%3:%4").arg(int(kind)).arg(text, cost, meals);
        };
        QCOMPARE(bands, QStringList({band(Kind::GroupHeader, "Escola: A"), band(Kind::GroupHeader, "Serviço: 1"),
                                     band(Kind::Detail, "", "2", "10"), band(Kind::Detail, "", "3", "10"),
                                     band(Kind::GroupFooter, "Total - Serviço 1", "5", "10"), band(Kind::GroupHeader, "Serviço: 2"),
                                     band(Kind::Detail, "", "4", "10"), band(Kind::GroupFooter, "Total - Serviço 2", "4", "10"),
                                     band(Kind::GroupFooter, "Total - Escola A", "9", "20"), band(Kind::GroupHeader, "Escola: B"),
                                     band(Kind::GroupHeader, "Serviço: 1"), band(Kind::Detail, "", "5", "10"),
                                     band(Kind::GroupFooter, "Total - Serviço 1", "5", "10"),
                                     band(Kind::GroupFooter, "Total - Escola B", "5", "10"),
                                     band(Kind::GrandTotal, layout.grandTotal, "14", "30")}));
    }

    void emptyResultSaysSo()
    {
        TParams params = reportseed::params("T", 0);
        params.ParamByName("P_DTINICIAL").setAsDateTime(QDateTime(QDate(2026, 1, 1), QTime(0, 0)));
        params.ParamByName("P_DTFINAL").setAsDateTime(QDateTime(QDate(2026, 1, 31), QTime(0, 0)));
        params.ParamByName("P_IDESTOCAVEIS").setAsString("N");
        const QString text = render(m_geral, 0, params);
        QCOMPARE(lastLine(text), QStringLiteral("Nenhum consumo planejado ou realizado encontrado para os filtros informados."));
        QVERIFY(text.contains("Período: 01/01/2026 a 31/01/2026"));
        QVERIFY(!text.contains("Total geral"));
    }

    // Regression: an empty text parameter (no list number, no plan) reached the queries as NULL.
    void emptyTextParametersAreBoundAsEmptyText()
    {
        ReportLayout layout = m_layouts.at(0);
        QString &detail = layout.queries[0].sql[SqlDialect::Generic];
        detail = "SELECT * FROM (" + detail + ") PLANO WHERE :P_NRLISTA = ''";
        TParams params = reportseed::params("T", 0);
        params.ParamByName("P_NRLISTA").setAsString(QString());
        const QString text = ReportEngine(m_geral.adcGeral()).build("ZUB011", layout, params).toText();
        QVERIFY2(text.contains("Total geral"), qPrintable(text.right(300)));
    }

    void queryFailureNamesTheQuery()
    {
        ReportLayout layout = m_layouts.at(0);
        layout.queries[0].sql[SqlDialect::Generic] = "SELECT * FROM TABELA_QUE_NAO_EXISTE WHERE 1 = :P_NRTIPOCUSTO";
        try {
            ReportEngine(m_geral.adcGeral()).build("ZUB011", layout, reportseed::params("T", 0));
            QFAIL("a failing query must raise");
        } catch (const HostError &error) {
            QVERIFY2(error.text().startsWith("Não foi possível executar a consulta \"dados\" do relatório:"), qPrintable(error.text()));
        }
    }

    // A layout's long query leaves the window painting, and "Cancelar" stops it inside the
    // database: neither query below would end by itself within the test's time.
    void aLongQueryStopsOnCancelWhileEventsRun_data()
    {
        QTest::addColumn<bool>("onPostgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }
    void aLongQueryStopsOnCancelWhileEventsRun()
    {
        QFETCH(bool, onPostgres);
        QString url;
        TdtmDBGeral *geral = onPostgres ? postgres(&url) : &m_geral;
        if (!geral)
            QSKIP(qPrintable(url));
        ReportLayout layout = m_layouts.at(0);
        layout.queries[0].sql = {{SqlDialect::Generic, "WITH RECURSIVE N (I) AS (SELECT 1 UNION ALL SELECT I + 1 FROM N WHERE I < 1000000000000)"
                                                       " SELECT COUNT(*) AS TOTAL FROM N"},
                                 {SqlDialect::Postgres, "SELECT 1 AS TOTAL FROM pg_sleep(3600)"}};
        int ticks = 0;
        QTimer ticker;
        connect(&ticker, &QTimer::timeout, this, [&ticks] { ++ticks; });
        ticker.start(10);
        QTimer::singleShot(300, this, [] { requestCancel(); });
        setWorkStage("Montando o relatório…");
        bool cancelled = false;
        try {
            ReportEngine(geral->adcGeral()).build("ZUB011", layout, reportseed::params("T", 0));
        } catch (const CancelledError &) {
            cancelled = true;
        }
        setWorkStage(QString());
        QVERIFY(cancelled);
        QVERIFY2(ticks >= 5, qPrintable(QString::number(ticks)));
        // The client's own connection is untouched and serves the next report.
        const QString text = ReportEngine(geral->adcGeral()).build("ZUB011", m_layouts.at(0), reportseed::params("T", 0)).toText();
        QVERIFY2(text.contains("Total geral"), qPrintable(text.right(300)));
    }

    // The same SQL text on PostgreSQL gives the same reports.
    void postgresql_data() { referenceCases(); }
    void postgresql()
    {
        QString url;
        if (!postgres(&url))
            QSKIP(qPrintable(url));
        compareWithReference(*postgres(&url));
    }

    // The monthly sums and the day records follow the consumption and planned meals that other
    // programs write: each change shows in the next preparation's report.
    void summariesFollowTheDayRows_data()
    {
        QTest::addColumn<bool>("onPostgres");
        QTest::newRow("sqlite") << false;
        QTest::newRow("postgresql") << true;
    }
    void summariesFollowTheDayRows()
    {
        QFETCH(bool, onPostgres);
        QString url = "sqlite:" + m_dir.filePath("geral.db");
        TdtmDBGeral *geral = &m_geral;
        if (onPostgres && !(geral = postgres(&url)))
            QSKIP(qPrintable(url));
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(wire::DatabaseUrl::parse(url)->qtDriver(), "upkeep");
            wire::DatabaseUrl::parse(url)->applyTo(db);
            QVERIFY2(db.open(), qPrintable(db.lastError().text()));
            int plan = 100;
            auto rowsOf = [&](const QString &sql) {
                QSqlQuery query(db);
                QStringList rows;
                if (!query.exec(sql))
                    return QStringList{query.lastError().text()};
                while (query.next())
                    rows << QStringLiteral("%1 %2 %3 %4 %5 %6 %7").arg(query.value(0).toString(), query.value(1).toString().left(10),
                                                                      query.value(2).toString(), query.value(3).toString(),
                                                                      query.value(4).toString(), query.value(5).toString(), query.value(6).toString());
                return rows;
            };
            // The day records, as counted straight from the three day tables.
            const QString counted = QStringLiteral(
                "SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, SUM(P), SUM(S), SUM(C) FROM ("
                " SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, 1 AS P, 0 AS S, 0 AS C FROM REFEPLAN"
                " UNION ALL SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, 0, 1, 0 FROM REFESERV"
                " UNION ALL SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, 0, 0, 1 FROM CONSREAL) X"
                " GROUP BY CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD ORDER BY 1, 2, 3, 4");
            auto totalsAfter = [&](const QString &statement) {
                QSqlQuery query(db);
                if (!query.exec(statement))
                    return query.lastError().text();
                const QStringList records = rowsOf("SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD, QTLINHASPLAN, QTLINHASSERV, QTLINHASCONS"
                                                   " FROM REGISTRODIA ORDER BY 1, 2, 3, 4");
                if (records != rowsOf(counted))
                    return QStringLiteral("REGISTRODIA difere da contagem: %1").arg(records.join(QStringLiteral("; ")));
                const QString number = QStringLiteral("%1").arg(++plan, 10, 10, QLatin1Char('0'));
                reportseed::prepare(db, number, {}, QDate(2025, 3, 1), QDate(2025, 3, 31));
                TParams params = reportseed::params("T", 0);
                params.ParamByName("P_NRCONSPLAN").setAsString(number);
                return lastLine(render(*geral, 0, params)).split(' ', Qt::SkipEmptyParts).mid(2).join(' ');
            };
            // Beans at 8,00; one more meal of menu C1 plans 12,00.
            QCOMPARE(totalsAfter("INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-10', 'T1', '0102', 2)"), "2.580,00 2.575,00 -5,00");
            QCOMPARE(totalsAfter("UPDATE CONSREAL SET QTCONSUMIDA = 3 WHERE DTREFEICAO = '2025-03-10'"), "2.580,00 2.583,00 3,00");
            QCOMPARE(totalsAfter("UPDATE CONSREAL SET DTREFEICAO = '2025-04-10' WHERE DTREFEICAO = '2025-03-10'"), "2.580,00 2.559,00 -21,00");
            QCOMPARE(totalsAfter("INSERT INTO REFEPLAN VALUES ('0101', '00010', '2025-03-10', 'T1', 'C1', 10)"), "2.592,00 2.559,00 -33,00");
            QCOMPARE(totalsAfter("DELETE FROM REFEPLAN WHERE DTREFEICAO = '2025-03-10'"), "2.580,00 2.559,00 -21,00");
            QCOMPARE(totalsAfter("DELETE FROM CONSREAL WHERE DTREFEICAO = '2025-04-10'"), "2.580,00 2.559,00 -21,00");
            QCOMPARE(totalsAfter("DELETE FROM CONSREAL WHERE CDPRODUTO = '0201' AND CDFILIAL = '0101' AND DTREFEICAO = '2025-03-03'"),
                     "2.580,00 2.532,00 -48,00");
            QCOMPARE(totalsAfter("INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-03', 'T1', '0201', 18)"), "2.580,00 2.559,00 -21,00");
            // Emptying one source clears only its share of the day records.
            QCOMPARE(totalsAfter(onPostgres ? "TRUNCATE REFESERV" : "DELETE FROM REFESERV"), "2.580,00 2.559,00 -21,00");
            db.close();
        }
        QSqlDatabase::removeDatabase("upkeep");
    }

private:
    // The seeded PostgreSQL database, opened once; null with the reason in *url when there is none.
    TdtmDBGeral *postgres(QString *url)
    {
        static harness::PostgresScratch scratch;
        static TdtmDBGeral geral;
        static QString address;
        if (!geral.isOpen()) {
            QString why;
            address = scratch.open(&why);
            if (address.isEmpty()) {
                *url = why;
                return nullptr;
            }
            seedAndOpen(address, geral);
        }
        *url = address;
        return &geral;
    }
};

QTEST_MAIN(TstReportEngine)
#include "tst_reportengine.moc"
