// The days whose records do not match, stored with a prepared plan: the real zub-server on the
// demo data with holes made on purpose, once on SQLite and once on PostgreSQL.
#include "serverharness.h"
#include "testdatabase.h"

#include <QSqlQuery>
#include <QSqlRecord>
#include <QtTest>

using harness::kPlanObject;

namespace {
const QByteArray kToken = "token-das-faltas-0123456789";
const QString kFiveSchools = QStringLiteral("_0101_0102_0103_0104_0105_");
}

class TstDataGaps : public QObject
{
    Q_OBJECT
public:
    explicit TstDataGaps(bool postgres) : m_demo(postgres, QStringLiteral("faltas")) {}

private:
    harness::DemoServer m_demo;

    QStringList rows(const QString &sql, const QVariantList &binds = {})
    {
        QSqlQuery query(m_demo.db());
        query.prepare(sql);
        for (const QVariant &value : binds)
            query.addBindValue(value);
        if (!query.exec())
            return {QStringLiteral("<falhou: %1>").arg(sql)};
        QStringList found;
        while (query.next()) {
            QStringList fields;
            for (int i = 0; i < query.record().count(); ++i)
                fields << (query.value(i).typeId() == QMetaType::QDate ? query.value(i).toDate().toString(Qt::ISODate) : query.value(i).toString());
            found << fields.join(' ');
        }
        return found;
    }

    QString prepare(const QString &branches, const QString &services, const QString &start, const QString &end)
    {
        const QJsonObject response = m_demo.server.call(kPlanObject, QStringLiteral("ExecStpConsPlan"),
                                                        {"0001", "", branches, services, start, end, "0", "zzzzzzzzzz", "OP01"});
        return response.value("result").toObject().value("answer").toString();
    }

    QStringList gapsOf(const QString &number)
    {
        return rows(QStringLiteral("SELECT IDFALTA, CDFILIAL, DTREFEICAO FROM FALTACONSPLAN WHERE NRCONSPLAN = ? ORDER BY IDFALTA, CDFILIAL, DTREFEICAO"),
                    {number});
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZUB_START_DEMO_SERVER(m_demo, kToken, QStringList({"--days", "120"}));
        // The demo records every planned day; the holes: no served meals at 0102 on Wednesday
        // 12/03, no consumption at 0103 on Thursday 13/03, consumption at 0104 on Saturday 15/03.
        QVERIFY(!rows("SELECT 1 FROM REFEPLAN WHERE CDFILIAL = '0102' AND DTREFEICAO = '2025-03-12'").isEmpty());
        QVERIFY(!rows("SELECT 1 FROM REFEPLAN WHERE CDFILIAL = '0103' AND DTREFEICAO = '2025-03-13'").isEmpty());
        QVERIFY(rows("SELECT 1 FROM REFEPLAN WHERE DTREFEICAO = '2025-03-15'").isEmpty());
        for (const QString &statement : {QStringLiteral("DELETE FROM REFESERV WHERE CDFILIAL = '0102' AND DTREFEICAO = '2025-03-12'"),
                                         QStringLiteral("DELETE FROM CONSREAL WHERE CDFILIAL = '0103' AND DTREFEICAO = '2025-03-13'"),
                                         QStringLiteral("INSERT INTO CONSREAL VALUES ('0104', '00020', '2025-03-15', '01', '0201001', 1.5)")}) {
            QSqlQuery query(m_demo.db());
            QVERIFY2(query.exec(statement), qPrintable(statement));
        }
    }

    void cleanupTestCase() { QCOMPARE(m_demo.stop(), 0); }

    void preparationStoresExactlyTheHoles_data()
    {
        QTest::addColumn<QString>("branches");
        QTest::addColumn<QString>("services");
        QTest::addColumn<QString>("start");
        QTest::addColumn<QString>("end");
        QTest::addColumn<QStringList>("gaps");
        const QStringList all{"C 0103 2025-03-13", "P 0104 2025-03-15", "S 0102 2025-03-12"};
        QTest::newRow("março, cinco escolas") << kFiveSchools << "" << "2025-03-01" << "2025-03-31" << all;
        QTest::newRow("dias soltos em volta de um mês inteiro") << kFiveSchools << "" << "2025-02-27" << "2025-04-02" << all;
        QTest::newRow("período completo") << kFiveSchools << "" << "2025-02-01" << "2025-02-28" << QStringList{};
        QTest::newRow("escolas sem falta") << "_0101_0105_" << "" << "2025-03-01" << "2025-03-31" << QStringList{};
        QTest::newRow("um dia de uma escola") << "0102" << "" << "2025-03-12" << "2025-03-12" << QStringList{"S 0102 2025-03-12"};
        // The Saturday's consumption is of lunch: another service leaves it out.
        QTest::newRow("só o desjejum") << kFiveSchools << "_00010_" << "2025-03-01" << "2025-03-31"
                                        << QStringList{"C 0103 2025-03-13", "S 0102 2025-03-12"};
        QTest::newRow("chaves de filial e serviço") << kFiveSchools << "_010400020_" << "2025-03-01" << "2025-03-31"
                                                    << QStringList{"P 0104 2025-03-15"};
    }
    void preparationStoresExactlyTheHoles()
    {
        QFETCH(QString, branches);
        QFETCH(QString, services);
        QFETCH(QString, start);
        QFETCH(QString, end);
        QFETCH(QStringList, gaps);
        const QString number = prepare(branches, services, start, end);
        QVERIFY2(QRegularExpression("^\\d{10}$").match(number).hasMatch(), qPrintable(number));
        QCOMPARE(gapsOf(number), gaps);
    }

    void holesGoWithTheirPlan()
    {
        const QString number = prepare(kFiveSchools, "", "2025-03-01", "2025-03-31");
        QCOMPARE(gapsOf(number).size(), 3);
        const QJsonObject response = m_demo.server.call(kPlanObject, QStringLiteral("DelConsPlan"), {"0101", number});
        QCOMPARE(response.value("result").toObject().value("answer").toObject().value("ok").toBool(), true);
        QCOMPARE(gapsOf(number), QStringList{});
    }
};

int main(int argc, char *argv[])
{
    return harness::runOnBothDatabases<TstDataGaps>(argc, argv);
}

#include "tst_datagaps.moc"
