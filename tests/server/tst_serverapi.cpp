// The application server as a client sees it: the real zub-server process on loopback, on the
// demo database, once on SQLite and once on PostgreSQL.
#include "serverharness.h"
#include "testdatabase.h"

#include "wire/databaseurl.h"

#include <QJsonDocument>
#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>
#include <thread>

using harness::kCostObject;
using harness::kPlanObject;

namespace {

const QByteArray kToken = "token-de-teste-0123456789abcdef";

// Codes of the main central's demo schools whose 0-based index passes the filter.
QStringList schools(const std::function<bool(int)> &take = [](int) { return true; })
{
    QStringList codes;
    for (int i = 0; i < 14; ++i) {
        if (take(i))
            codes << QStringLiteral("%1").arg(101 + i, 4, 10, QLatin1Char('0'));
    }
    return codes;
}

// Every branch followed by every service, as FILISERV keys are formed.
QStringList keysOf(const QStringList &branches, const QStringList &services)
{
    QStringList keys;
    for (const QString &branch : branches) {
        for (const QString &service : services)
            keys << branch + service;
    }
    return keys;
}

struct PlanKey {
    QString branch, service, menuType, product;
    auto tied() const { return std::tie(branch, service, menuType, product); }
    bool operator<(const PlanKey &o) const { return tied() < o.tied(); }
    bool operator==(const PlanKey &o) const { return tied() == o.tied(); }
};
struct PlanSums {
    qint64 meals = 0;
    double quantity = 0;
};

} // namespace

class TstServerApi : public QObject
{
    Q_OBJECT
public:
    explicit TstServerApi(bool postgres) : m_postgres(postgres) {}

private:
    bool m_postgres;
    QTemporaryDir m_dir;
    harness::PostgresScratch m_pg;
    QString m_url;
    harness::ServerProcess m_server;
    QString m_connection = QStringLiteral("checks");

    QSqlDatabase db() const { return QSqlDatabase::database(m_connection); }

    QJsonObject call(const QString &method, const QJsonArray &params, const QString &object = kPlanObject)
    {
        return m_server.call(object, method, params);
    }
    static QJsonValue answer(const QJsonObject &response) { return response.value("result").toObject().value("answer"); }
    static QJsonObject vars(const QJsonObject &response) { return response.value("result").toObject().value("vars").toObject(); }

    // The data of a successful envelope; otherwise a text no expectation matches.
    static QJsonValue data(const QJsonObject &response)
    {
        const QJsonObject envelope = answer(response).toObject();
        if (envelope.value("ok") == QJsonValue(true))
            return envelope.value("data");
        return QStringLiteral("<no envelope with data: %1>").arg(QString::fromUtf8(QJsonDocument(response).toJson(QJsonDocument::Compact)));
    }

    // One column of a data packet, after checking the packet declares exactly `fields`.
    QStringList column(const QJsonValue &packet, const QStringList &fields, const QString &name)
    {
        QStringList declared;
        for (const QJsonValue &field : packet.toObject().value("fields").toArray())
            declared << field.toObject().value("name").toString();
        if (declared != fields) {
            qWarning() << "fields" << declared << "expected" << fields;
            return {QStringLiteral("<wrong fields>")};
        }
        const qsizetype index = fields.indexOf(name);
        QStringList values;
        for (const QJsonValue &row : packet.toObject().value("rows").toArray())
            values << row.toArray().at(index).toVariant().toString();
        return values;
    }

    QVariant scalar(const QString &sql, const QVariantList &binds = {})
    {
        QSqlQuery query(db());
        query.prepare(sql);
        for (const QVariant &value : binds)
            query.addBindValue(value);
        if (!query.exec() || !query.next()) {
            qWarning() << sql << query.lastError().text();
            return {};
        }
        return query.value(0);
    }

    QStringList strings(const QString &sql, const QVariantList &binds = {})
    {
        QSqlQuery query(db());
        query.prepare(sql);
        for (const QVariant &value : binds)
            query.addBindValue(value);
        QStringList values;
        if (!query.exec())
            qWarning() << sql << query.lastError().text();
        while (query.next())
            values << query.value(0).toString();
        return values;
    }

    QMap<PlanKey, PlanSums> storedPlan(const QString &number)
    {
        QMap<PlanKey, PlanSums> plan;
        QSqlQuery query(db());
        query.prepare(QStringLiteral("SELECT CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, QTREFEPLAN, QTPLANEJADA FROM ITCONSPLAN WHERE NRCONSPLAN = ?"));
        query.addBindValue(number);
        query.exec();
        while (query.next())
            plan[{query.value(0).toString(), query.value(1).toString(), query.value(2).toString(), query.value(3).toString()}] =
                {query.value(4).toLongLong(), query.value(5).toDouble()};
        return plan;
    }

    // The plan worked out here from the raw rows, without the server's aggregate query.
    QMap<PlanKey, PlanSums> expectedPlan(const QStringList &branches, const QStringList &services, const QStringList &menuTypes,
                                         const QDate &start, const QDate &end, const QString &firstProduct, const QString &lastProduct)
    {
        QHash<QString, bool> stockable;
        QSqlQuery products(db());
        products.exec(QStringLiteral("SELECT CDPRODUTO, IDESTOCAVEL FROM PRODUTO"));
        while (products.next())
            stockable.insert(products.value(0).toString(), products.value(1).toString() == QLatin1String("S"));
        QMultiHash<QString, QPair<QString, double>> ingredients;
        QSqlQuery items(db());
        items.exec(QStringLiteral("SELECT CDCARDAPIO, CDPRODUTO, QTPERCAPITA FROM ITCARDAPIO"));
        while (items.next())
            ingredients.insert(items.value(0).toString(), {items.value(1).toString(), items.value(2).toDouble()});
        const QStringList centralBranches = strings(QStringLiteral("SELECT CDFILIAL FROM FILIAL WHERE CDFILCENTZUB = '0001'"));

        QMap<PlanKey, PlanSums> plan;
        QSqlQuery meals(db());
        meals.prepare(QStringLiteral("SELECT CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, QTREFEPLAN FROM REFEPLAN WHERE DTREFEICAO >= ? AND DTREFEICAO <= ?"));
        meals.addBindValue(start);
        meals.addBindValue(end);
        meals.exec();
        while (meals.next()) {
            const QString branch = meals.value(0).toString();
            const QString service = meals.value(1).toString();
            const QString menuType = meals.value(2).toString();
            if (!centralBranches.contains(branch) || !branches.contains(branch))
                continue;
            if (!services.isEmpty() && !services.contains(service) && !services.contains(branch + service))
                continue;
            if (!menuTypes.isEmpty() && !menuTypes.contains(menuType))
                continue;
            const qint64 count = meals.value(4).toLongLong();
            const auto range = ingredients.equal_range(meals.value(3).toString());
            for (auto it = range.first; it != range.second; ++it) {
                const QString product = it->first;
                if (!stockable.value(product) || product < firstProduct || product > lastProduct)
                    continue;
                PlanSums &sums = plan[{branch, service, menuType, product}];
                sums.meals += count;
                sums.quantity += count * it->second;
            }
        }
        return plan;
    }

    static bool samePlan(const QMap<PlanKey, PlanSums> &got, const QMap<PlanKey, PlanSums> &want)
    {
        if (got.keys().size() != want.keys().size() || got.keys() != want.keys()) {
            qWarning() << "plan rows:" << got.size() << "expected" << want.size();
            return false;
        }
        for (auto it = want.begin(); it != want.end(); ++it) {
            const PlanSums &g = got.value(it.key());
            if (g.meals != it->meals || std::abs(g.quantity - it->quantity) > 1e-6 * std::max(1.0, std::abs(it->quantity))) {
                qWarning() << it.key().branch << it.key().service << it.key().menuType << it.key().product << g.meals << g.quantity
                           << "expected" << it->meals << it->quantity;
                return false;
            }
        }
        return true;
    }

    QString prepare(const QJsonArray &params)
    {
        return answer(call(QStringLiteral("ExecStpConsPlan"), params)).toString();
    }
    static QJsonArray monthPlan(const QString &branches = QStringLiteral("_0101_0102_0103_"))
    {
        return {"0001", "", branches, "", "2025-03-01", "2025-03-31", "0", "zzzzzzzzzz", "OP01"};
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZUB_OPEN_TEST_DATABASE(m_url, m_postgres, m_pg, m_dir);
        QString why;
        QString output;
        QCOMPARE(harness::runTool({"--database", m_url, "--create-demo"}, &output), 0);
        QVERIFY2(output.contains(QStringLiteral("banco de demonstração criado")), qPrintable(output));
        QVERIFY2(m_server.start(m_url, kToken, {}, &why), qPrintable(why));

        QSqlDatabase check = harness::openDatabase(m_url, m_connection);
        QVERIFY2(check.open(), qPrintable(check.lastError().text()));
    }

    void cleanupTestCase()
    {
        QSqlDatabase::database(m_connection, false).close();
        QSqlDatabase::removeDatabase(m_connection);
        if (!m_server.isRunning())
            return;
        // SIGTERM ends the server cleanly, with its closing line.
        QCOMPARE(m_server.stop(), 0);
        QVERIFY2(m_server.output().contains(QStringLiteral("encerrado")), qPrintable(m_server.output()));
    }

    void demoDataCoversTheReportScenarios()
    {
        QVERIFY(scalar("SELECT COUNT(*) FROM FILIAL WHERE CDFILCENTZUB = '0001'").toInt() >= 12);
        QCOMPARE(scalar("SELECT COUNT(*) FROM FILIAL WHERE IDFILCENTZUB = 'S'").toInt(), 2);
        QCOMPARE(scalar("SELECT COUNT(*) FROM FILIAL WHERE CDFILCENTZUB IS NULL AND IDFILCENTZUB = 'N'").toInt(), 1);
        QVERIFY(scalar("SELECT COUNT(DISTINCT I.CDGRUPFILI) FROM ITGRUPFILI I JOIN FILIAL F ON F.CDFILIAL = I.CDFILIAL WHERE F.CDFILCENTZUB = '0001'").toInt() >= 2);
        QVERIFY(scalar("SELECT COUNT(DISTINCT CDGRUPSERV) FROM SERVFILI").toInt() >= 3);
        QCOMPARE(scalar("SELECT COUNT(*) FROM TIPOCARD WHERE CDFILCENTZUB = '0001'").toInt(), 4);
        QCOMPARE(scalar("SELECT COUNT(*) FROM TIPOCARD WHERE CDFILCENTZUB = '0001' AND IDTPCARDATIV = 'N'").toInt(), 1);
        QVERIFY(scalar("SELECT COUNT(*) FROM PRODUTO WHERE NRNIVEL = 3").toInt() >= 40);
        QCOMPARE(scalar("SELECT COUNT(DISTINCT NRNIVEL) FROM PRODUTO").toInt(), 3);
        QCOMPARE(scalar("SELECT COUNT(DISTINCT IDESTOCAVEL) FROM PRODUTO WHERE NRNIVEL = 3").toInt(), 2);
        QCOMPARE(scalar("SELECT COUNT(*) FROM CUSTOPROD").toInt(), 3 * scalar("SELECT COUNT(*) FROM PRODUTO WHERE NRNIVEL = 3").toInt());
        QCOMPARE(scalar("SELECT MIN(DTREFEICAO) FROM REFEPLAN").toDate(), QDate(2025, 1, 2));
        QVERIFY(scalar("SELECT MAX(DTREFEICAO) FROM REFEPLAN").toDate() >= QDate(2025, 12, 19));
        // Actual consumption deviates from the plan: not every day, not every product as planned.
        const double planned = scalar("SELECT SUM(QTREFEPLAN) FROM REFEPLAN").toDouble();
        const double served = scalar("SELECT SUM(QTREFESERV) FROM REFESERV").toDouble();
        QVERIFY(served < planned && served > 0.8 * planned);
        QVERIFY(scalar("SELECT COUNT(*) FROM CONSREAL C WHERE NOT EXISTS (SELECT 1 FROM REFEPLAN R JOIN ITCARDAPIO I ON I.CDCARDAPIO = R.CDCARDAPIO"
                       " WHERE R.CDFILIAL = C.CDFILIAL AND R.CDSERVFILI = C.CDSERVFILI AND R.DTREFEICAO = C.DTREFEICAO"
                       " AND R.CDTIPOCARD = C.CDTIPOCARD AND I.CDPRODUTO = C.CDPRODUTO)").toInt() > 0);
        // The same seed gives the same history in either dialect.
        QCOMPARE(scalar("SELECT SUM(QTREFEPLAN) FROM REFEPLAN").toLongLong(), qint64(2947753));
    }

    void everyObjectAnswersThePing()
    {
        QCOMPARE(data(call(QStringLiteral("rpc.ping"), {})).toString(), kPlanObject);
        QCOMPARE(data(call(QStringLiteral("rpc.ping"), {}, kCostObject)).toString(), kCostObject);
    }

    void costTypesComeInTheirOrder()
    {
        const QJsonValue packet = data(call(QStringLiteral("ListaTipoCusto"), {}, kCostObject));
        const QStringList fields{"NRTIPOCUSTO", "NMTIPOCUSTO"};
        QCOMPARE(column(packet, fields, "NRTIPOCUSTO"), QStringList({"3", "1", "2"}));
        QCOMPARE(column(packet, fields, "NMTIPOCUSTO"), QStringList({"Custo padrão", "Custo médio ponderado", "Último preço de compra"}));
        QVERIFY(packet.toObject().value("rows").toArray().at(0).toArray().at(0).isDouble());
    }

    void aggregatedBranches_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QString>("central");
        QTest::addColumn<QString>("branch");
        QTest::addColumn<QStringList>("codes");
        QTest::addColumn<QString>("appliedKind");
        QTest::newRow("all of the central") << "F" << "" << "0001" << "" << schools() << "F";
        QTest::newRow("members of a grouping") << "A" << "0000000003" << "0001" << "" << schools([](int i) { return i % 3 == 0; }) << "A";
        QTest::newRow("grouping ignored for F") << "F" << "0000000003" << "0001" << "" << schools() << "F";
        QTest::newRow("A without a grouping works as F") << "A" << "  " << "0001" << "" << schools() << "F";
        QTest::newRow("one branch") << "F" << "" << "0001" << "0105" << QStringList{"0105"} << "F";
        QTest::newRow("one branch, blanks around") << "F" << "" << " 0001" << "0105 " << QStringList{"0105"} << "F";
        QTest::newRow("branch outside the grouping") << "A" << "0000000001" << "0001" << "0114" << QStringList{} << "A";
        QTest::newRow("branch of another central") << "F" << "" << "0001" << "9001" << QStringList{} << "F";
        QTest::newRow("the other central") << "F" << "" << "0002" << "" << QStringList{"9001", "9002"} << "F";
        QTest::newRow("unknown central") << "F" << "" << "ZZZZ" << "" << QStringList{} << "F";
        QTest::newRow("lower-case kind") << "a" << "0000000002" << "0001" << "" << schools([](int i) { return i >= 7; }) << "A";
    }
    void aggregatedBranches()
    {
        QFETCH(QString, kind);
        QFETCH(QString, grouping);
        QFETCH(QString, central);
        QFETCH(QString, branch);
        QFETCH(QStringList, codes);
        QFETCH(QString, appliedKind);
        const QJsonObject response = call(QStringLiteral("GetFiliAgreg"), {kind, grouping, central, branch});
        const QJsonValue packet = data(response);
        const QStringList fields{"IDMARCADO", "CDFILIAL", "NMFILIAL"};
        QCOMPARE(column(packet, fields, "CDFILIAL"), codes);
        const QStringList names = column(packet, fields, "NMFILIAL");
        for (int i = 0; i < codes.size(); ++i)
            QCOMPARE(names[i], scalar("SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = ?", {codes[i]}).toString());
        // The kind goes by reference: the caller's variable gets the kind that was applied.
        QCOMPARE(vars(response), QJsonObject({{"0", appliedKind}}));
    }

    void groupings_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QStringList>("names");
        QTest::newRow("all") << "T" << QStringList{"Região Norte", "Região Sul", "Escolas de tempo integral", "Rio Claro"};
        QTest::newRow("one") << "0000000002" << QStringList{"Região Sul"};
        QTest::newRow("not registered") << "0000000099" << QStringList{};
    }
    void groupings()
    {
        QFETCH(QString, code);
        QFETCH(QStringList, names);
        const QJsonValue packet = data(call(QStringLiteral("GetAgrupFili"), {code}));
        QCOMPARE(column(packet, {"CDGRUPFILI", "NMGRUPFILI"}, "NMGRUPFILI"), names);
    }

    void services_data()
    {
        QTest::addColumn<QString>("branches");
        QTest::addColumn<QString>("groups");
        QTest::addColumn<QString>("grouping");
        QTest::addColumn<QStringList>("keys");
        const QStringList all4{"00010", "00020", "00030", "00040"};
        QTest::newRow("one branch") << "0101" << "T" << "T" << keysOf({"0101"}, all4);
        QTest::newRow("key list") << "_0101_0102_" << "T" << "T" << keysOf({"0101", "0102"}, all4);
        QTest::newRow("all of a grouping") << "T" << "T" << "0000000003" << keysOf(schools([](int i) { return i % 3 == 0; }), all4);
        QTest::newRow("all of the central") << "T" << "T" << "T" << keysOf(schools(), all4);
        QTest::newRow("blank grouping means none") << "T" << "T" << "" << keysOf(schools(), all4);
        QTest::newRow("service groups") << "_0103_" << "_002_" << "T" << keysOf({"0103"}, {"00010", "00030"});
        QTest::newRow("lists without leading separator") << "0101_0102_" << "001_003_" << "T" << keysOf({"0101", "0102"}, {"00020", "00040"});
        QTest::newRow("a list is not narrowed by the grouping") << "_0114_" << "T" << "0000000001" << keysOf({"0114"}, all4);
        QTest::newRow("branch of another central") << "_9001_" << "T" << "T" << QStringList{};
        QTest::newRow("nothing marked") << "_" << "T" << "T" << QStringList{};
    }
    void services()
    {
        QFETCH(QString, branches);
        QFETCH(QString, groups);
        QFETCH(QString, grouping);
        QFETCH(QStringList, keys);
        const QJsonObject response = call(QStringLiteral("GetServico"), {branches, groups, grouping, "0001"});
        const QJsonValue packet = data(response);
        const QStringList fields{"IDMARCADO", "CDFILIAL", "CDSERVFILI", "NMSERVICO", "FILISERV"};
        QCOMPARE(column(packet, fields, "FILISERV"), keys);
        const QStringList branchCodes = column(packet, fields, "CDFILIAL");
        const QStringList serviceCodes = column(packet, fields, "CDSERVFILI");
        for (int i = 0; i < keys.size(); ++i)
            QCOMPARE(branchCodes[i] + serviceCodes[i], keys[i]);
        QCOMPARE(vars(response), QJsonObject());
    }

    // Code 0: the method answers the refusal in its envelope; otherwise the call itself is
    // refused with that JSON-RPC error code.
    void refusalsNameTheProblem_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<int>("code");
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown kind") << "GetFiliAgreg" << QJsonArray{"X", "", "0001", ""} << 0 << "Tipo de seleção";
        QTest::newRow("quote in grouping") << "GetFiliAgreg" << QJsonArray{"A", "0'1", "0001", ""} << 0 << "caractere inválido";
        QTest::newRow("no central") << "GetFiliAgreg" << QJsonArray{"F", "", " ", ""} << 0 << "não informad";
        QTest::newRow("blank grouping code") << "GetAgrupFili" << QJsonArray{"  "} << 0 << "não informad";
        QTest::newRow("grouping code too long") << "GetAgrupFili" << QJsonArray{"00000000001"} << 0 << "maior que 10";
        QTest::newRow("SQL in a branch list") << "GetServico" << QJsonArray{"_0101_') OR ('1'='1_", "T", "T", "0001"} << 0 << "caractere inválido";
        QTest::newRow("unterminated group list") << "GetServico" << QJsonArray{"T", "_001", "T", "0001"} << 0 << "terminar";
        QTest::newRow("lists for an unknown central") << "getListas" << QJsonArray{"T", "T", "ZZZZ", "T"} << 0 << "não cadastrada";
        QTest::newRow("lists for a school") << "getListas" << QJsonArray{"T", "T", "0101", "T"} << 0 << "não é uma central";
        QTest::newRow("service key of 7") << "getListas" << QJsonArray{"_0101000_", "T", "0001", "T"} << 0 << "9 caracteres";
        QTest::newRow("too few") << "GetFiliAgreg" << QJsonArray{"F", "", "0001"} << -32602 << "espera 4 argumento(s) e recebeu 3";
        QTest::newRow("number for text") << "GetServico" << QJsonArray{101, "T", "T", "0001"} << -32602 << "Argumento 1 (filiais)";
        QTest::newRow("object for text") << "GetAgrupFili" << QJsonArray{QJsonObject{{"a", 1}}} << -32602 << "deve ser texto";
        QTest::newRow("date not ISO") << "ExecStpConsPlan" << QJsonArray{"0001", "", "_", "", "01/03/2025", "2025-03-31", "0", "z", ""} << -32602 << "AAAA-MM-DD";
        QTest::newRow("impossible date") << "ExecStpConsPlan" << QJsonArray{"0001", "", "_", "", "2025-02-30", "2025-03-31", "0", "z", ""} << -32602 << "data inicial";
        QTest::newRow("unknown method") << "DropTables" << QJsonArray{} << -32601 << "não tem o método DropTables";
        QTest::newRow("list numbers as an object") << "deletaListas" << QJsonArray{QJsonObject{}} << -32602 << "números das listas";
    }
    void refusalsNameTheProblem()
    {
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(int, code);
        QFETCH(QString, message);
        const QJsonObject response = call(method, params);
        const QJsonObject envelope = answer(response).toObject();
        const QJsonObject error = response.value("error").toObject();
        QCOMPARE(code == 0 ? envelope.value("ok") : QJsonValue(error.value("code").toInt()), code == 0 ? QJsonValue(false) : QJsonValue(code));
        const QString text = (code == 0 ? envelope : error).value("message").toString();
        QVERIFY2(text.contains(message), qPrintable(text));
    }

    void preparedPlanMatchesAnIndependentSum_data()
    {
        QTest::addColumn<QString>("menuTypes");
        QTest::addColumn<QString>("branches");
        QTest::addColumn<QString>("services");
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QString>("firstProduct");
        QTest::addColumn<QString>("lastProduct");
        QTest::addColumn<QStringList>("branchKeys");
        QTest::addColumn<QStringList>("serviceKeys");
        QTest::addColumn<QStringList>("menuTypeKeys");
        const QDate march1(2025, 3, 1), march31(2025, 3, 31);
        QTest::newRow("all branches, a month") << "" << "_" + schools().join('_') + "_" << "" << march1 << march31 << "0" << "zzzzzzzzzz"
                                               << schools() << QStringList{} << QStringList{};
        QTest::newRow("one branch code") << "" << "0105" << "" << march1 << march31 << "0" << "zzzzzzzzzz"
                                         << QStringList{"0105"} << QStringList{} << QStringList{};
        QTest::newRow("service codes") << "" << "_0101_0104_" << "_00010_00030_" << march1 << march31 << "0" << "zzzzzzzzzz"
                                       << QStringList{"0101", "0104"} << QStringList{"00010", "00030"} << QStringList{};
        QTest::newRow("branch-plus-service keys") << "" << "0101_0102_" << "_010100020_010200040_" << march1 << march31 << "0" << "zzzzzzzzzz"
                                                  << QStringList{"0101", "0102"} << QStringList{"010100020", "010200040"} << QStringList{};
        QTest::newRow("menu types") << "_02_03_" << "_0104_0108_" << "" << march1 << march31 << "0" << "zzzzzzzzzz"
                                    << QStringList{"0104", "0108"} << QStringList{} << QStringList{"02", "03"};
        QTest::newRow("product range") << "T" << "_0101_" << "" << march1 << march31 << "0201" << "0202999"
                                       << QStringList{"0101"} << QStringList{} << QStringList{};
        QTest::newRow("recess with the inactive menu type") << "" << "_0101_0102_" << "" << QDate(2025, 1, 1) << QDate(2025, 1, 31) << "0" << "zzzzzzzzzz"
                                                            << QStringList{"0101", "0102"} << QStringList{} << QStringList{};
        QTest::newRow("one day") << "" << "_0110_" << "" << QDate(2025, 5, 6) << QDate(2025, 5, 6) << "0" << "zzzzzzzzzz"
                                 << QStringList{"0110"} << QStringList{} << QStringList{};
        QTest::newRow("a whole year") << "" << "_0101_0113_" << "" << QDate(2025, 1, 1) << QDate(2025, 12, 31) << "0" << "zzzzzzzzzz"
                                      << QStringList{"0101", "0113"} << QStringList{} << QStringList{};
        QTest::newRow("branches of another central are left out") << "" << "_0101_9001_" << "" << march1 << march31 << "0" << "zzzzzzzzzz"
                                                                   << QStringList{"0101", "9001"} << QStringList{} << QStringList{};
    }
    void preparedPlanMatchesAnIndependentSum()
    {
        QFETCH(QString, menuTypes);
        QFETCH(QString, branches);
        QFETCH(QString, services);
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QString, firstProduct);
        QFETCH(QString, lastProduct);
        QFETCH(QStringList, branchKeys);
        QFETCH(QStringList, serviceKeys);
        QFETCH(QStringList, menuTypeKeys);
        const QString number = prepare({"0001", menuTypes, branches, services, start.toString(Qt::ISODate), end.toString(Qt::ISODate),
                                        firstProduct, lastProduct, "OP01"});
        QVERIFY2(QRegularExpression("^\\d{10}$").match(number).hasMatch(), qPrintable(number));
        const auto want = expectedPlan(branchKeys, serviceKeys, menuTypeKeys, start, end, firstProduct, lastProduct);
        QVERIFY(!want.isEmpty());
        QVERIFY(samePlan(storedPlan(number), want));
        QCOMPARE(scalar("SELECT CDOPERADOR FROM CONSPLAN WHERE NRCONSPLAN = ?", {number}).toString(), QStringLiteral("OP01"));
    }

    void noBranchesGiveAnEmptyPlan()
    {
        const QString number = prepare(monthPlan(QStringLiteral("_")));
        QCOMPARE(number.size(), 10);
        QCOMPARE(scalar("SELECT COUNT(*) FROM CONSPLAN WHERE NRCONSPLAN = ?", {number}).toInt(), 1);
        QCOMPARE(scalar("SELECT COUNT(*) FROM ITCONSPLAN WHERE NRCONSPLAN = ?", {number}).toInt(), 0);
    }

    void refusedPreparationsAnswerATextAndStoreNothing_data()
    {
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<QString>("message");
        QJsonArray reversed = monthPlan();
        reversed[4] = "2025-04-01";
        QTest::newRow("start after end") << reversed << "posterior à data final";
        QJsonArray unknown = monthPlan();
        unknown[0] = "ZZZZ";
        QTest::newRow("unknown central") << unknown << "não cadastrada";
        QJsonArray school = monthPlan();
        school[0] = "0101";
        QTest::newRow("a school is no central") << school << "não é uma central";
        QTest::newRow("malformed branch list") << monthPlan("_0101_0102") << "terminar";
        QTest::newRow("quotes in a branch list") << monthPlan("_0101_'0102'_") << "caractere inválido";
        QJsonArray badService = monthPlan();
        badService[3] = "_00010_00020;DELETE FROM CONSPLAN_";
        QTest::newRow("SQL in the service list") << badService << "caractere inválido";
        QJsonArray products = monthPlan();
        products[6] = "9";
        products[7] = "0";
        QTest::newRow("product range reversed") << products << "Faixa de produtos";
        QJsonArray tenCharacters = monthPlan();
        tenCharacters[0] = "";
        QTest::newRow("no central") << tenCharacters << "não informad";
    }
    void refusedPreparationsAnswerATextAndStoreNothing()
    {
        QFETCH(QJsonArray, params);
        QFETCH(QString, message);
        const int before = scalar("SELECT COUNT(*) FROM CONSPLAN").toInt();
        const QJsonValue reply = answer(call(QStringLiteral("ExecStpConsPlan"), params));
        QVERIFY(reply.isString());
        QVERIFY2(reply.toString().size() != 10 && reply.toString().contains(message), qPrintable(reply.toString()));
        QCOMPARE(scalar("SELECT COUNT(*) FROM CONSPLAN").toInt(), before);
    }

    void concurrentPreparationsGetDistinctNumbersAndCompletePlans()
    {
        const QString reference = prepare(monthPlan());
        const auto want = storedPlan(reference);
        QVERIFY(!want.isEmpty());
        const QByteArray request = harness::post("/rpc/" + kPlanObject, harness::rpcBody("ExecStpConsPlan", monthPlan()), kToken);
        constexpr int kClients = 50;
        QList<QString> numbers(kClients);
        std::vector<std::thread> clients;
        for (int i = 0; i < kClients; ++i) {
            clients.emplace_back([&, i] {
                const harness::HttpReply reply = harness::exchange(m_server.port(), request, 120000);
                numbers[i] = answer(reply.json()).toString();
            });
        }
        for (std::thread &client : clients)
            client.join();
        const QSet<QString> distinct(numbers.begin(), numbers.end());
        QCOMPARE(distinct.size(), kClients);
        for (const QString &number : numbers) {
            QVERIFY2(number.size() == 10 && number != reference, qPrintable(number));
            QVERIFY(samePlan(storedPlan(number), want));
        }
    }

    void listsAreStoredAsRows_data()
    {
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("menuTypes");
        QTest::addColumn<QString>("branches");
        QTest::addColumn<QStringList>("serviceKeys");
        QTest::addColumn<QStringList>("menuTypeKeys");
        QTest::addColumn<QStringList>("branchKeys");
        const QStringList allServices = keysOf(schools(), {"00010", "00020", "00030", "00040"});
        QTest::newRow("dialog lists") << "_010100010_010200020_" << "_01_03_" << "_0101_0102_"
                                      << QStringList{"010100010", "010200020"} << QStringList{"01", "03"} << QStringList{"0101", "0102"};
        QTest::newRow("lists built from all rows") << "010100010_" << "01_02_03_" << "_0105_"
                                                   << QStringList{"010100010"} << QStringList{"01", "02", "03"} << QStringList{"0105"};
        QTest::newRow("service codes cover the central's branches") << "_00040_" << "T" << "0107"
                                                                    << keysOf(schools(), {"00040"}) << QStringList{"01", "02", "03", "04"}
                                                                    << QStringList{"0107"};
        QTest::newRow("all") << "T" << "T" << "T" << allServices << QStringList{"01", "02", "03", "04"} << schools();
        QTest::newRow("nothing") << "" << "_" << "_" << QStringList{} << QStringList{} << QStringList{};
        QTest::newRow("keys of another central are left out") << "_900100020_" << "_11_" << "_9001_" << QStringList{} << QStringList{} << QStringList{};
        // Regression: lists were capped at 10 000 keys, one bound parameter each.
        QString many = QStringLiteral("_010100010_");
        for (int i = 0; i < 50000; ++i)
            many += QStringLiteral("8%1_").arg(i, 8, 10, QLatin1Char('0'));
        QTest::newRow("50 001 keys, one of the central") << many << "_01_" << "_0101_" << QStringList{"010100010"} << QStringList{"01"}
                                                         << QStringList{"0101"};
    }
    void listsAreStoredAsRows()
    {
        QFETCH(QString, services);
        QFETCH(QString, menuTypes);
        QFETCH(QString, branches);
        QFETCH(QStringList, serviceKeys);
        QFETCH(QStringList, menuTypeKeys);
        QFETCH(QStringList, branchKeys);
        const QJsonObject response = call(QStringLiteral("getListas"), {services, menuTypes, "0001", branches});
        const QJsonArray numbers = data(response).toArray();
        QCOMPARE(numbers.size(), 3);
        const QString keysOf = QStringLiteral("SELECT CDCHAVE FROM LISTA WHERE NRLISTA = ? AND IDTIPOLISTA = ? ORDER BY CDCHAVE");
        QCOMPARE(strings(keysOf, {numbers[0].toString(), "S"}), serviceKeys);
        QCOMPARE(strings(keysOf, {numbers[1].toString(), "T"}), menuTypeKeys);
        QCOMPARE(strings(keysOf, {numbers[2].toString(), "F"}), branchKeys);
        // Report queries find a service through the key, which must be branch and service.
        QCOMPARE(scalar("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ? AND CDCHAVE <> CDFILIAL || CDSERVFILI", {numbers[0].toString()}).toInt(), 0);
        QCOMPARE(QSet<QString>({numbers[0].toString(), numbers[1].toString(), numbers[2].toString()}).size(), 3);
    }

    void deletesTouchOnlyTheirOwnNumbers()
    {
        const QString planA = prepare(monthPlan());
        const QString planB = prepare(monthPlan());
        const QJsonArray listsA = data(call(QStringLiteral("getListas"), {"T", "T", "0001", "T"})).toArray();
        const QJsonArray listsB = data(call(QStringLiteral("getListas"), {"T", "T", "0001", "T"})).toArray();
        const QString countPlan = QStringLiteral("SELECT COUNT(*) FROM ITCONSPLAN WHERE NRCONSPLAN = ?");
        const QString countList = QStringLiteral("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ?");
        const int rowsB = scalar(countPlan, {planB}).toInt();
        QVERIFY(rowsB > 0);

        QCOMPARE(data(call(QStringLiteral("DelConsPlan"), {"0101", planA})).toString(), QString());
        QCOMPARE(scalar(countPlan, {planA}).toInt(), 0);
        QCOMPARE(scalar("SELECT COUNT(*) FROM CONSPLAN WHERE NRCONSPLAN = ?", {planA}).toInt(), 0);
        QCOMPARE(scalar(countPlan, {planB}).toInt(), rowsB);

        const QJsonObject response = call(QStringLiteral("deletaListas"), {QJsonValue(listsA)});
        QCOMPARE(data(response).toString(), QString());
        // The array goes by reference and comes back emptied.
        QCOMPARE(vars(response), QJsonObject({{"0", QJsonArray{"", "", ""}}}));
        for (const QJsonValue &number : listsA)
            QCOMPARE(scalar(countList, {number.toString()}).toInt(), 0);
        for (const QJsonValue &number : listsB)
            QVERIFY(scalar(countList, {number.toString()}).toInt() > 0);

        // Nothing to delete is no error, and deletes nothing.
        const int plans = scalar("SELECT COUNT(*) FROM ITCONSPLAN").toInt();
        const int listRows = scalar("SELECT COUNT(*) FROM LISTA").toInt();
        for (const QString &number : {QString(), QStringLiteral("          "), QStringLiteral("9999999999"), QStringLiteral("A data ini"),
                                      QStringLiteral("' OR 1=1 -")})
            QCOMPARE(data(call(QStringLiteral("DelConsPlan"), {"", number})).toString(), QString());
        QCOMPARE(data(call(QStringLiteral("deletaListas"), {QJsonValue(QJsonArray{QJsonValue::Null, "", "          "})})).toString(), QString());
        QCOMPARE(data(call(QStringLiteral("deletaListas"), {QJsonValue(listsA)})).toString(), QString());
        QCOMPARE(scalar("SELECT COUNT(*) FROM ITCONSPLAN").toInt(), plans);
        QCOMPARE(scalar("SELECT COUNT(*) FROM LISTA").toInt(), listRows);
    }

    void hostileRequestsLeaveTheServerServing_data()
    {
        QTest::addColumn<QByteArray>("request");
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("code");
        const QString path = "/rpc/" + kPlanObject;
        const QByteArray ping = harness::rpcBody("rpc.ping", {});
        QTest::newRow("bad json") << harness::post(path, "{\"jsonrpc\":\"2.0\",", kToken) << 200 << -32700;
        QTest::newRow("not an object") << harness::post(path, "[1,2,3]", kToken) << 200 << -32600;
        QTest::newRow("invalid utf-8") << harness::post(path, "{\"jsonrpc\":\"2.0\",\"method\":\"\xff\xfe\"}", kToken) << 200 << -32700;
        QTest::newRow("deep nesting") << harness::post(path, QByteArray(100000, '['), kToken) << 200 << -32700;
        QTest::newRow("params as object") << harness::post(path, R"({"jsonrpc":"2.0","id":1,"method":"GetAgrupFili","params":{"a":"T"}})", kToken) << 200 << -32602;
        QTest::newRow("unknown object") << harness::post("/rpc/Nada.rdmNada", ping, kToken) << 404 << -32002;
        QTest::newRow("wrong path") << harness::post("/admin", ping, kToken) << 404 << -32600;
        QTest::newRow("GET") << QByteArray("GET " + path.toUtf8() + " HTTP/1.1\r\nHost: x\r\nConnection: close\r\n\r\n") << 405 << -32600;
        QTest::newRow("no token") << harness::post(path, ping, {}) << 401 << -32001;
        QTest::newRow("wrong token") << harness::post(path, ping, "token-de-teste-0123456789abcdeX") << 401 << -32001;
        QTest::newRow("token prefix") << harness::post(path, ping, kToken.left(10)) << 401 << -32001;
        QTest::newRow("other scheme") << QByteArray(harness::post(path, ping, {}, "Authorization: Basic " + kToken + "\r\n")) << 401 << -32001;
        QTest::newRow("declared body too large")
            << QByteArray("POST " + path.toUtf8() + " HTTP/1.1\r\nHost: x\r\nAuthorization: Bearer " + kToken
                          + "\r\nContent-Type: application/json\r\nContent-Length: 50000000\r\nConnection: close\r\n\r\n" + ping)
            << 413 << -32003;
        // A browser may send these to any site without asking first; a JSON body it may not.
        for (const QByteArray &type : {QByteArray("text/plain"), QByteArray("application/x-www-form-urlencoded"), QByteArray()}) {
            QByteArray request = harness::post(path, ping, kToken);
            request.replace("Content-Type: application/json\r\n", type.isEmpty() ? QByteArray() : "Content-Type: " + type + "\r\n");
            QTest::newRow(type.isEmpty() ? "no content type" : type.constData()) << request << 415 << -32600;
        }
        QByteArray chunked;
        for (int i = 0; i < 24; ++i)
            chunked += "10000\r\n" + QByteArray(0x10000, ' ') + "\r\n";
        chunked += "0\r\n\r\n";
        QTest::newRow("chunked body too large") << harness::post(path, chunked, kToken, "Transfer-Encoding: chunked\r\n") << 413 << -32003;
        QTest::newRow("huge header") << harness::post(path, ping, kToken, "X-Filler: " + QByteArray(200000, 'a') + "\r\n") << 431 << 0;
    }
    void hostileRequestsLeaveTheServerServing()
    {
        QFETCH(QByteArray, request);
        QFETCH(int, status);
        QFETCH(int, code);
        const harness::HttpReply reply = harness::exchange(m_server.port(), request);
        QCOMPARE(reply.status, status);
        if (code != 0) {
            const QJsonObject error = reply.json().value("error").toObject();
            QCOMPARE(error.value("code").toInt(), code);
            QVERIFY(!error.value("message").toString().isEmpty());
        }
        QVERIFY(m_server.isRunning());
        QCOMPARE(data(call(QStringLiteral("rpc.ping"), {})).toString(), kPlanObject);
    }

    void chunkedBodyWithinTheLimitIsServed()
    {
        const QByteArray body = harness::rpcBody("GetAgrupFili", {"0000000001"});
        const QByteArray chunked = QByteArray::number(body.size(), 16) + "\r\n" + body + "\r\n0\r\n\r\n";
        const harness::HttpReply reply = harness::exchange(
            m_server.port(), harness::post("/rpc/" + kPlanObject, chunked, kToken, "Transfer-Encoding: chunked\r\n"));
        QCOMPARE(reply.status, 200);
        QCOMPARE(column(data(reply.json()), {"CDGRUPFILI", "NMGRUPFILI"}, "NMGRUPFILI"), QStringList{"Região Norte"});
    }

    void oldTemporaryDataIsSwept()
    {
        const QString old = prepare(monthPlan());
        const QString oldLists = data(call(QStringLiteral("getListas"), {"T", "T", "0001", "T"})).toArray().at(0).toString();
        QTest::qWait(2500);
        // A second server on the same database sweeps at start what is older than its age...
        harness::ServerProcess sweeper;
        QString why;
        QVERIFY2(sweeper.start(m_url, kToken, {"--sweep-age", "2s"}, &why), qPrintable(why));
        QCOMPARE(scalar("SELECT COUNT(*) FROM CONSPLAN WHERE NRCONSPLAN = ?", {old}).toInt(), 0);
        QCOMPARE(scalar("SELECT COUNT(*) FROM ITCONSPLAN WHERE NRCONSPLAN = ?", {old}).toInt(), 0);
        QCOMPARE(scalar("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ?", {oldLists}).toInt(), 0);
        // ...keeps what is younger, and sweeps it too once it has aged.
        const QString young = prepare(monthPlan());
        QVERIFY(scalar("SELECT COUNT(*) FROM ITCONSPLAN WHERE NRCONSPLAN = ?", {young}).toInt() > 0);
        QTRY_COMPARE_WITH_TIMEOUT(scalar("SELECT COUNT(*) FROM ITCONSPLAN WHERE NRCONSPLAN = ?", {young}).toInt(), 0, 15000);
        QCOMPARE(sweeper.stop(), 0);
    }

    void commandLineMistakesAreExplained_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "--sweep-age";
        // As the README says: the shared token is optional, for machines.
        QTest::newRow("help on the token file") << QStringList{"--help"} << 0 << "sem ele só as sessões dos operadores são atendidas";
        // Regression: value names with accents came out as mojibake.
        QTest::newRow("help names values") << QStringList{"--help"} << 0 << "--database <endereço>";
        QTest::newRow("no database") << QStringList{"--token-file", "x"} << 2 << "informe o banco de dados";
        QTest::newRow("unknown database") << QStringList{"--database", "mysql://x/y"} << 2 << "não reconhecido";
        QTest::newRow("bad session idle") << QStringList{"--database", "sqlite:x.db", "--session-idle", "0"} << 2 << "--session-idle";
        QTest::newRow("bad listen") << QStringList{"--database", "sqlite:x.db", "--token-file", "t", "--listen", "127.0.0.1"} << 2 << "endereço de escuta inválido";
        QTest::newRow("not loopback") << QStringList{"--database", "sqlite:x.db", "--token-file", "t", "--listen", "0.0.0.0:1"} << 2 << "--allow-remote";
        QTest::newRow("bad sweep age") << QStringList{"--database", "sqlite:x.db", "--token-file", "t", "--sweep-age", "2x"} << 2 << "--sweep-age";
        QTest::newRow("bad branches") << QStringList{"--database", "sqlite:x.db", "--create-demo", "--branches", "0"} << 2 << "--branches";
        QTest::newRow("certificate without key") << QStringList{"--database", "sqlite:x.db", "--token-file", "t", "--tls-cert", "c.pem"} << 2 << "--tls-key";
        QTest::newRow("remote without TLS warns") << QStringList{"--database", "sqlite::memory:", "--token-file", "/nonexistent/token", "--listen", "0.0.0.0:1", "--allow-remote"} << 1 << "sem criptografia";
        QTest::newRow("unreadable token") << QStringList{"--database", "sqlite::memory:", "--token-file", "/nonexistent/token"} << 1 << "credencial";
    }
    void commandLineMistakesAreExplained()
    {
        if (m_postgres)
            QSKIP("the command line does not depend on the database");
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QString output;
        QCOMPARE(harness::runTool(arguments, &output), exitCode);
        // --help wraps its lines at the terminal's width.
        QVERIFY2(output.simplified().contains(message), qPrintable(output));
    }

    void schemaIsCreatedOnAnEmptyDatabaseAndANewerOneIsRefused()
    {
        if (m_postgres)
            QSKIP("checked once, on SQLite");
        const QString file = m_dir.filePath(QStringLiteral("empty.db"));
        harness::ServerProcess fresh;
        QString why;
        QVERIFY2(fresh.start(QStringLiteral("sqlite:") + file, kToken, {}, &why), qPrintable(why));
        QCOMPARE(column(data(fresh.call(kCostObject, "ListaTipoCusto", {})), {"NRTIPOCUSTO", "NMTIPOCUSTO"}, "NMTIPOCUSTO"), QStringList{});
        QCOMPARE(fresh.stop(), 0);
        {
            QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("raw"));
            raw.setDatabaseName(file);
            QVERIFY(raw.open());
            QVERIFY(QSqlQuery(raw).exec(QStringLiteral("INSERT INTO ZUBVERSAO (NRVERSAO) VALUES (999)")));
            raw.close();
        }
        QSqlDatabase::removeDatabase(QStringLiteral("raw"));
        QVERIFY(!fresh.start(QStringLiteral("sqlite:") + file, kToken, {}, &why));
        QVERIFY2(why.contains(QStringLiteral("mais novo que o deste servidor")), qPrintable(why));
    }

    // A database of schema 7 kept the consumption days in CONSREALDIA; its upgrade counts the
    // rows already there into REGISTRODIA, whose triggers then follow new rows.
    void aVersionSevenDatabaseGetsItsDayRecords()
    {
        if (m_postgres)
            QSKIP("checked once, on SQLite");
        const QString file = m_dir.filePath(QStringLiteral("seven.db"));
        harness::ServerProcess server;
        QString why;
        QVERIFY2(server.start(QStringLiteral("sqlite:") + file, kToken, {}, &why), qPrintable(why));
        QCOMPARE(server.stop(), 0);
        QSqlDatabase raw = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("seven"));
        raw.setDatabaseName(file);
        QVERIFY(raw.open());
        const auto run = [&raw](const QString &statement) {
            QSqlQuery query(raw);
            return query.exec(statement) ? QString() : statement + QStringLiteral(": ") + query.lastError().text();
        };
        const auto records = [&raw] {
            QSqlQuery query(raw);
            QStringList found;
            query.exec(QStringLiteral("SELECT CDFILIAL, DTREFEICAO, CDSERVFILI, QTLINHASPLAN, QTLINHASSERV, QTLINHASCONS FROM REGISTRODIA ORDER BY 1, 2, 3"));
            while (query.next())
                found << QStringLiteral("%1 %2 %3 %4%5%6").arg(query.value(0).toString(), query.value(1).toString(), query.value(2).toString(),
                                                              query.value(3).toString(), query.value(4).toString(), query.value(5).toString());
            return found;
        };
        QStringList back{QStringLiteral("DROP TABLE REGISTRODIA"), QStringLiteral("DELETE FROM ZUBVERSAO WHERE NRVERSAO >= 8"),
                         QStringLiteral("CREATE TABLE CONSREALDIA (CDFILIAL VARCHAR(4) NOT NULL, DTREFEICAO TEXT NOT NULL, CDSERVFILI VARCHAR(5) NOT NULL,"
                                        " CDTIPOCARD VARCHAR(10) NOT NULL, QTCONSUMIDA REAL NOT NULL, QTLINHAS INTEGER NOT NULL,"
                                        " PRIMARY KEY (CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD)) WITHOUT ROWID"),
                         QStringLiteral("CREATE TRIGGER TG_CONSREALDIA_INS AFTER INSERT ON CONSREAL BEGIN INSERT INTO CONSREALDIA VALUES"
                                        " (NEW.CDFILIAL, NEW.DTREFEICAO, NEW.CDSERVFILI, NEW.CDTIPOCARD, NEW.QTCONSUMIDA, 1); END"),
                         QStringLiteral("INSERT INTO REFEPLAN VALUES ('0101', '00010', '2025-03-03', '01', 'C1', 10)"),
                         QStringLiteral("INSERT INTO REFESERV VALUES ('0101', '00010', '2025-03-03', '01', 9)"),
                         QStringLiteral("INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-03', '01', '0102', 2)"),
                         QStringLiteral("INSERT INTO REFESERV VALUES ('0102', '00020', '2025-03-04', '01', 5)")};
        for (const char *source : {"REFEPLAN", "REFESERV", "CONSREAL"}) {
            for (const char *event : {"INS", "DEL", "UPD"})
                back.prepend(QStringLiteral("DROP TRIGGER TG_REGISTRODIA_%1_%2").arg(QLatin1String(source), QLatin1String(event)));
        }
        for (const QString &statement : back)
            QVERIFY2(run(statement).isEmpty(), qPrintable(run(statement)));

        QVERIFY2(server.start(QStringLiteral("sqlite:") + file, kToken, {}, &why), qPrintable(why));
        QCOMPARE(server.stop(), 0);
        QCOMPARE(records(), (QStringList{"0101 2025-03-03 00010 111", "0102 2025-03-04 00020 010"}));
        QVERIFY(!run(QStringLiteral("SELECT 1 FROM CONSREALDIA")).isEmpty());
        QVERIFY(run(QStringLiteral("INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-03', '01', '0201', 3)")).isEmpty());
        QVERIFY(run(QStringLiteral("DELETE FROM REFESERV WHERE CDFILIAL = '0102'")).isEmpty());
        QCOMPARE(records(), QStringList{"0101 2025-03-03 00010 112"});
        raw.close();
        raw = QSqlDatabase();
        QSqlDatabase::removeDatabase(QStringLiteral("seven"));
    }
};

int main(int argc, char *argv[])
{
    return harness::runOnBothDatabases<TstServerApi>(argc, argv);
}

#include "tst_serverapi.moc"
