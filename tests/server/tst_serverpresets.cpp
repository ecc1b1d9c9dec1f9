// Saved filters and school years on the real zub-server over loopback, on SQLite and on
// PostgreSQL: the round trip, who sees and who may delete a shared filter, and bad input.
#include "serverharness.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QtTest>

using harness::kPlanObject;

namespace {

const QByteArray kToken = "token-de-teste-0123456789abcdef";

QJsonValue answerOf(const QJsonObject &response)
{
    return response.value("result").toObject().value("answer");
}

// The envelope's data, or the refusal's text as a string.
QJsonValue dataOf(const QJsonObject &response)
{
    const QJsonObject envelope = answerOf(response).toObject();
    if (envelope.value("ok").toBool())
        return envelope.value("data");
    if (response.contains("error"))
        return response.value("error").toObject().value("message").toString();
    return envelope.value("message").toString();
}

bool refused(const QJsonObject &response)
{
    return response.contains("error") || !answerOf(response).toObject().value("ok").toBool();
}

// Column `field` of every row of a packet.
QStringList column(const QJsonValue &packet, const QString &field)
{
    const QJsonArray fields = packet.toObject().value("fields").toArray();
    int index = -1;
    for (int i = 0; i < fields.size(); ++i) {
        if (fields[i].toObject().value("name").toString() == field)
            index = i;
    }
    QStringList values;
    for (const QJsonValue &row : packet.toObject().value("rows").toArray())
        values << row.toArray().at(index).toVariant().toString();
    return values;
}

const QJsonObject kMarch{{"periodo", "mês anterior"},
                         {"filiais", QJsonArray{"0101", "0102"}},
                         {"tiposCardapio", "todos"},
                         {"tipoCusto", "Custo médio"},
                         {"estocaveis", true},
                         {"diferenca", "total"},
                         {"nivel", 2}};

} // namespace

class TstServerPresets : public QObject
{
    Q_OBJECT
public:
    explicit TstServerPresets(bool postgres) : m_demo(postgres, QStringLiteral("presets")) {}

private:
    harness::DemoServer m_demo;
    harness::ServerProcess &m_server = m_demo.server;
    QByteArray m_central;  // CEN0001, central 0001
    QByteArray m_school;   // ESC0101, of the same central
    QByteArray m_other;    // an operator of central 0002

    QJsonObject call(const QByteArray &session, const QString &method, const QJsonArray &params)
    {
        return m_server.callWith(session, kPlanObject, method, params);
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZUB_START_DEMO_SERVER(m_demo, kToken, QStringList({"--days", "31", "--first-day", "2025-12-15"}));
        const QString other = m_demo.postgres ? QStringLiteral("CEN0002PG") : QStringLiteral("CEN0002SQ");
        QString output;
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--add-operator", other, "--name", "Central 2", "--branch", "0002", "--role", "central"},
                                  &output, "senha-central-2\n"),
                 0);
        m_central = m_server.signIn("CEN0001", "central0001");
        m_school = m_server.signIn("ESC0101", "escola0101");
        m_other = m_server.signIn(other, "senha-central-2");
        QVERIFY(!m_central.isEmpty() && !m_school.isEmpty() && !m_other.isEmpty());
    }

    void cleanupTestCase()
    {
        QCOMPARE(m_demo.stop(), 0);
    }

    void savedFilterComesBackAsSaved()
    {
        QCOMPARE(dataOf(call(m_central, "SalvaFiltro", {"  Mensal norte  ", kMarch, "N"})).toString(), QString());
        const QJsonValue listed = dataOf(call(m_central, "ListaFiltros", {}));
        QVERIFY(column(listed, "NMFILTRO").contains("Mensal norte"));
        const QJsonObject read = dataOf(call(m_central, "LeFiltro", {"Mensal norte", ""})).toObject();
        QCOMPARE(read.value("filtros").toObject(), kMarch);
        QCOMPARE(read.value("dono").toString(), QStringLiteral("CEN0001"));
        QCOMPARE(read.value("compartilhado").toBool(), false);

        // Saving again under the name replaces it; the audit has both writes.
        QJsonObject changed = kMarch;
        changed["nivel"] = 0;
        QCOMPARE(dataOf(call(m_central, "SalvaFiltro", {"Mensal norte", changed, "N"})).toString(), QString());
        QCOMPARE(dataOf(call(m_central, "LeFiltro", {"Mensal norte", ""})).toObject().value("filtros").toObject(), changed);
        QSqlQuery rows(m_demo.db());
        QVERIFY(rows.exec("SELECT COUNT(*) FROM FILTROSALVO WHERE NMFILTRO = 'Mensal norte'") && rows.next());
        QCOMPARE(rows.value(0).toInt(), 1);
        QVERIFY(rows.exec("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'SalvaFiltro' AND CDOPERADOR = 'CEN0001'") && rows.next());
        QVERIFY(rows.value(0).toInt() >= 2);
    }

    // Administrators have no central: theirs are shared among administrators, seen by no central.
    void administratorsSaveAndShareAmongThemselves()
    {
        const QString second = m_demo.postgres ? QStringLiteral("ADM2PG") : QStringLiteral("ADM2SQ");
        QString output;
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--add-operator", second, "--name", "Administrador 2", "--branch", "0001", "--role",
                                   "administrador"},
                                  &output, "senha-admin-2\n"),
                 0);
        const QByteArray admin = m_server.signIn("ADMIN", "admin-zub01");
        const QByteArray otherAdmin = m_server.signIn(second, "senha-admin-2");
        QVERIFY(!admin.isEmpty() && !otherAdmin.isEmpty());
        const QJsonObject saved = call(admin, "SalvaFiltro", {"Rede inteira", kMarch, "S"});
        QVERIFY2(!refused(saved), qPrintable(dataOf(saved).toString()));
        QCOMPARE(dataOf(call(otherAdmin, "LeFiltro", {"Rede inteira", ""})).toObject().value("filtros").toObject(), kMarch);
        QVERIFY(!column(dataOf(call(m_central, "ListaFiltros", {})), "NMFILTRO").contains("Rede inteira"));
        QVERIFY(!refused(call(admin, "ApagaFiltro", {"Rede inteira"})));
    }

    void sharedFilterIsSeenWithinTheCentralOnly()
    {
        QVERIFY(!refused(call(m_central, "SalvaFiltro", {"Compartilhado", kMarch, "S"})));
        QVERIFY(!refused(call(m_central, "SalvaFiltro", {"Particular", kMarch, "N"})));

        const QJsonValue seen = dataOf(call(m_school, "ListaFiltros", {}));
        QVERIFY(column(seen, "NMFILTRO").contains("Compartilhado"));
        QVERIFY(!column(seen, "NMFILTRO").contains("Particular"));
        QCOMPARE(dataOf(call(m_school, "LeFiltro", {"Compartilhado", ""})).toObject().value("filtros").toObject(), kMarch);
        const QString deleteRefusal = dataOf(call(m_school, "ApagaFiltro", {"Compartilhado"})).toString();
        QVERIFY2(deleteRefusal.contains("só o dono"), qPrintable(deleteRefusal));
        // The school's own filter of the same name leaves the owner's untouched.
        QVERIFY(!refused(call(m_school, "SalvaFiltro", {"Compartilhado", QJsonObject{{"nivel", 1}}, "N"})));
        QCOMPARE(dataOf(call(m_central, "LeFiltro", {"Compartilhado", ""})).toObject().value("filtros").toObject(), kMarch);
        QCOMPARE(dataOf(call(m_school, "LeFiltro", {"Compartilhado", ""})).toObject().value("dono").toString(), QStringLiteral("ESC0101"));
        QCOMPARE(dataOf(call(m_school, "LeFiltro", {"Compartilhado", "CEN0001"})).toObject().value("filtros").toObject(), kMarch);

        QVERIFY(column(dataOf(call(m_other, "ListaFiltros", {})), "NMFILTRO").isEmpty());
        QVERIFY(dataOf(call(m_other, "LeFiltro", {"Compartilhado", "CEN0001"})).toString().contains("não encontrado"));
        QVERIFY(dataOf(call(m_other, "ApagaFiltro", {"Compartilhado"})).toString().contains("não encontrado"));

        QVERIFY(!refused(call(m_central, "ApagaFiltro", {"Compartilhado"})));
        QCOMPARE(dataOf(call(m_school, "LeFiltro", {"Compartilhado", "CEN0001"})).toString(),
                 QStringLiteral("Filtro salvo \"Compartilhado\" do operador CEN0001 não encontrado."));
    }

    // A name shared within a central is one filter: a school cannot share under the central's,
    // so the central's runs never take the school's filters for their own.
    void aSharedNameIsOnePerCentral()
    {
        const QJsonObject other{{"nivel", 1}};
        QVERIFY(!refused(call(m_central, "SalvaFiltro", {"Mensal da central", kMarch, "S"})));
        const QString refusal = dataOf(call(m_school, "SalvaFiltro", {"Mensal da central", other, "S"})).toString();
        QVERIFY2(refusal.contains("CEN0001 já compartilha"), qPrintable(refusal));
        QVERIFY(!refused(call(m_school, "SalvaFiltro", {"Mensal da central", other, "N"})));
        QVERIFY(refused(call(m_school, "SalvaFiltro", {"Mensal da central", other, "S"})));
        QVERIFY(!refused(call(m_central, "SalvaFiltro", {"Mensal da central", kMarch, "S"})));
        QVERIFY(!refused(call(m_other, "SalvaFiltro", {"Mensal da central", other, "S"})));
        QSqlQuery shared(m_demo.db());
        QVERIFY(shared.exec("SELECT COUNT(*) FROM FILTROSALVO WHERE NMFILTRO = 'Mensal da central' AND IDCOMPARTILHADO = 'S'") && shared.next());
        QCOMPARE(shared.value(0).toInt(), 2);
        shared.finish();
        // Once the central's is gone, a school may share the name, but the central's runs by the
        // name alone do not take the school's filters; named by its owner, they may.
        QVERIFY(!refused(call(m_central, "ApagaFiltro", {"Mensal da central"})));
        QVERIFY(!refused(call(m_school, "ApagaFiltro", {"Mensal da central"})));
        QVERIFY(!refused(call(m_school, "SalvaFiltro", {"Mensal da central", other, "S"})));
        QVERIFY(dataOf(call(m_central, "LeFiltro", {"Mensal da central", ""})).toString().contains("não encontrado"));
        QCOMPARE(dataOf(call(m_central, "LeFiltro", {"Mensal da central", "ESC0101"})).toObject().value("filtros").toObject(), other);
        for (const QByteArray &owner : {m_central, m_school, m_other})
            call(owner, "ApagaFiltro", {"Mensal da central"});
    }

    void badInputIsRefusedWithAReason_data()
    {
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<QString>("message");
        QTest::newRow("blank name") << "SalvaFiltro" << QJsonArray{"   ", kMarch, "N"} << "de 1 a 60 caracteres";
        QTest::newRow("long name") << "SalvaFiltro" << QJsonArray{QString(61, 'x'), kMarch, "N"} << "de 1 a 60 caracteres";
        QTest::newRow("control character") << "SalvaFiltro" << QJsonArray{"a\tb", kMarch, "N"} << "caracteres de controle";
        QTest::newRow("filters not an object") << "SalvaFiltro" << QJsonArray{"x", QJsonArray{1}, "N"} << "objeto JSON";
        QTest::newRow("filters as text") << "SalvaFiltro" << QJsonArray{"x", "{\"nivel\":1}", "N"} << "objeto JSON";
        QTest::newRow("shared flag") << "SalvaFiltro" << QJsonArray{"x", kMarch, "talvez"} << "S (com a central)";
        QTest::newRow("unknown name") << "LeFiltro" << QJsonArray{"Nenhum assim", ""} << "\"Nenhum assim\" não encontrado";
        QTest::newRow("school years of another central") << "GetAnoLetivo" << QJsonArray{"0002"} << "não tem acesso à central 0002";
    }
    void badInputIsRefusedWithAReason()
    {
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(QString, message);
        const QJsonObject response = call(m_central, method, params);
        QVERIFY(refused(response));
        QVERIFY2(dataOf(response).toString().contains(message), qPrintable(dataOf(response).toString()));
    }

    // Regression: a school stored 3,000 filters of 60 KB in 15 s: an operator's filters are
    // bounded, and replacing one of them still works at the bound.
    void anOperatorsFiltersAreBounded()
    {
        for (int i = 0; i < 200; ++i)
            QVERIFY(!refused(call(m_other, "SalvaFiltro", {QStringLiteral("Filtro %1").arg(i), kMarch, "N"})));
        const QJsonObject over = call(m_other, "SalvaFiltro", {"Mais um", kMarch, "N"});
        QVERIFY(refused(over));
        QVERIFY2(dataOf(over).toString().contains("Limite de 200 filtros salvos"), qPrintable(dataOf(over).toString()));
        QVERIFY(!refused(call(m_other, "SalvaFiltro", {"Filtro 7", QJsonObject{{"nivel", 2}}, "N"})));
        for (int i = 0; i < 200; ++i)
            call(m_other, "ApagaFiltro", {QStringLiteral("Filtro %1").arg(i)});
    }

    void machineCallerHasNoSavedFilters()
    {
        const QJsonObject response = m_server.call(kPlanObject, "ListaFiltros", {});
        QVERIFY(refused(response));
        QVERIFY2(dataOf(response).toString().contains("entre com operador e senha"), qPrintable(dataOf(response).toString()));
    }

    // The demo calendar: one school year per year of the history, February to December.
    void schoolYearsOfTheDemoCentral()
    {
        const QJsonValue years = dataOf(call(m_central, "GetAnoLetivo", {"0001"}));
        QCOMPARE(column(years, "NRANO"), QStringList({"2025", "2026"}));
        QCOMPARE(column(years, "DTINICIO").first(), QStringLiteral("2025-02-03"));
        QCOMPARE(column(years, "DTFIM").first(), QStringLiteral("2025-12-19"));
        QVERIFY(column(dataOf(call(m_other, "GetAnoLetivo", {"0002"})), "NRANO").isEmpty());
    }
};

int main(int argc, char *argv[])
{
    return harness::runOnBothDatabases<TstServerPresets>(argc, argv);
}

#include "tst_serverpresets.moc"
