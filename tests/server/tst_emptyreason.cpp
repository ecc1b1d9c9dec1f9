// Why a report came out empty: the real zub-server on the demo data, once on SQLite and once on
// PostgreSQL, each reason produced by filters made for it.
#include "serverharness.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QtTest>

using harness::kPlanObject;

namespace {
const QByteArray kToken = "token-do-motivo-0123456789";
const QString kSaturday = QStringLiteral("2025-03-15");
}

class TstEmptyReason : public QObject
{
    Q_OBJECT
public:
    explicit TstEmptyReason(bool postgres) : m_demo(postgres, QStringLiteral("motivo")) {}

private:
    harness::DemoServer m_demo;

    static QJsonValue dataOf(const QJsonObject &response) { return response.value("result").toObject().value("answer").toObject().value("data"); }

    QJsonObject askReason(const QString &branches, const QString &services, const QString &menuTypes, const QString &start,
                       const QString &end, const QString &stockables, const QString &nonStockables)
    {
        const QJsonArray lists = dataOf(m_demo.server.call(kPlanObject, "getListas", {services, menuTypes, "0001", branches})).toArray();
        return m_demo.server.call(kPlanObject, "GetMotivoVazio",
                                  {"0001", lists.at(2), lists.at(0), lists.at(1), start, end, stockables, nonStockables});
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZUB_START_DEMO_SERVER(m_demo, kToken, QStringList({"--days", "120"}));
        // The demo plans no Saturday; on this one only 0104's lunch of the regular menu used
        // meat (stockable), unplanned.
        QSqlQuery query(m_demo.db());
        QVERIFY(query.exec("INSERT INTO CONSREAL VALUES ('0104', '00020', '2025-03-15', '01', '0201001', 1.5)"));
    }

    void cleanupTestCase() { QCOMPARE(m_demo.stop(), 0); }

    void namesTheFilterThatEmptiedIt_data()
    {
        QTest::addColumn<QString>("branches");
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("menuTypes");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QString>("kinds");
        QTest::addColumn<QString>("reason");
        QTest::newRow("domingo") << "T" << "T" << "T" << "2025-03-16" << "2025-03-16" << "SS"
                                 << "Nenhuma filial da central tem refeições planejadas ou consumo registrado de 16/03/2025 a 16/03/2025.";
        QTest::newRow("meses inteiros sem nada") << "T" << "T" << "T" << "2030-01-01" << "2030-02-28" << "SS"
                                                 << "Nenhuma filial da central tem refeições planejadas ou consumo registrado de 01/01/2030 a 28/02/2030.";
        QTest::newRow("outra escola no sábado") << "_0101_0102_" << "T" << "T" << kSaturday << kSaturday << "SS"
                                                << "Nenhuma refeição planejada nem consumo registrado de 15/03/2025 a 15/03/2025 nas filiais escolhidas.";
        QTest::newRow("dieta especial no sábado") << "_0104_" << "T" << "_02_03_" << kSaturday << kSaturday << "SS"
                                                  << "Os tipos de cardápio escolhidos não têm refeições de 15/03/2025 a 15/03/2025 nas filiais escolhidas.";
        QTest::newRow("desjejum no sábado") << "_0104_" << "_00010_" << "T" << kSaturday << kSaturday << "SS"
                                            << "Os serviços escolhidos não foram servidos de 15/03/2025 a 15/03/2025 nas filiais escolhidas.";
        QTest::newRow("só não estocáveis no sábado") << "T" << "T" << "T" << kSaturday << kSaturday << "NS"
                                                     << "Só os produtos não estocáveis foram escolhidos, e nenhum foi planejado nem consumido de 15/03/2025 a 15/03/2025.";
        QTest::newRow("nenhum tipo de produto") << "T" << "T" << "T" << kSaturday << kSaturday << "NN"
                                                << "Nenhum tipo de produto foi escolhido (estocáveis ou não estocáveis).";
        QTest::newRow("só estocáveis no sábado: há consumo") << "_0104_" << "_00020_" << "_01_" << kSaturday << kSaturday << "SN" << "";
        QTest::newRow("março inteiro e dias em volta") << "T" << "T" << "T" << "2025-02-27" << "2025-04-02" << "SS" << "";
    }
    void namesTheFilterThatEmptiedIt()
    {
        QFETCH(QString, branches);
        QFETCH(QString, services);
        QFETCH(QString, menuTypes);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QString, kinds);
        QFETCH(QString, reason);
        const QJsonObject response = askReason(branches, services, menuTypes, start, end, kinds.left(1), kinds.mid(1));
        QCOMPARE(dataOf(response).toString(), reason);
    }

    void refusesWhatIsNotAListNumber()
    {
        const QJsonObject response = m_demo.server.call(kPlanObject, "GetMotivoVazio",
                                                        {"0001", "filiais", "0000000001", "0000000002", kSaturday, kSaturday, "S", "S"});
        QCOMPARE(response.value("result").toObject().value("answer").toObject().value("message").toString(),
                 QStringLiteral("Número da lista de filiais inválido: \"filiais\"."));
    }
};

int main(int argc, char *argv[])
{
    return harness::runOnBothDatabases<TstEmptyReason>(argc, argv);
}

#include "tst_emptyreason.moc"
