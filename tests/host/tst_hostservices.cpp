#include "host/data/adoibquery.h"
#include "host/data/codepicture.h"
#include "host/data/dataset.h"
#include "host/data/errors.h"
#include "host/data/hostfunctions.h"
#include "host/network/checkresultserv.h"
#include "host/services/dispatcher.h"
#include "host/services/messages.h"
#include "host/services/session.h"
#include "support/testhost.h"
#include "wire/datapacket.h"
#include "wire/wirevalue.h"

#include <QTemporaryDir>
#include <QtTest>

using namespace host;

class TstHostServices : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void serverSettingsOfTheClientFile_data()
    {
        QTest::addColumn<QString>("lines");
        QTest::addColumn<QString>("expected"); // host:porta|others|tls|ca file name|connect ms|call ms, or the error's word
        QTest::newRow("one server") << "host=10.0.0.5\nporta=47100" << "10.0.0.5:47100||0||5000|600000";
        QTest::newRow("several servers") << "enderecos=a.local:1, b.local:2,c.local:3" << "a.local:1|b.local:2,c.local:3|0||5000|600000";
        QTest::newRow("tls and timeouts") << "tls=true\nca=ca.pem\ntempo_conexao=2.5\ntempo_chamada=30"
                                          << "127.0.0.1:47011||1|ca.pem|2500|30000";
        QTest::newRow("address without port") << "enderecos=a.local:1,b.local" << "enderecos";
        QTest::newRow("timeout not a number") << "tempo_chamada=muito" << "tempo_chamada";
    }
    void serverSettingsOfTheClientFile()
    {
        QFETCH(QString, lines);
        QFETCH(QString, expected);
        QTemporaryDir dir;
        QFile file(dir.filePath("client.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(("[servidor]\n" + lines + "\n").toUtf8());
        file.close();
        try {
            const ClientConfig config = ClientConfig::fromFile(file.fileName());
            const NetTransport &net = config.transport;
            const QString read = QStringList{config.serverHost + ':' + QString::number(config.serverPort),
                                             net.otherAddresses.join(','), QString::number(net.tls),
                                             QFileInfo(net.caFile).fileName(), QString::number(net.connectTimeoutMs),
                                             QString::number(net.callTimeoutMs)}.join('|');
            QCOMPARE(read, expected);
            if (!net.caFile.isEmpty())
                QCOMPARE(net.caFile, dir.filePath("ca.pem")); // next to the INI file
        } catch (const HostError &error) {
            QVERIFY2(error.text().contains("[servidor] " + expected), qPrintable(error.text()));
        }
    }

    void ajustaPadsButNeverCuts_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("width");
        QTest::addColumn<QString>("expected");
        QTest::newRow("short code") << "1" << 4 << "0001";
        QTest::newRow("blanks around") << " 12 " << 4 << "0012";
        QTest::newRow("exact width") << "0001" << 4 << "0001";
        QTest::newRow("empty stays empty") << "" << 4 << "";
        QTest::newRow("blank stays empty") << "   " << 10 << "";
        QTest::newRow("longer is not cut") << "GRUPO123456" << 10 << "GRUPO123456";
        QTest::newRow("letters") << "AB" << 4 << "00AB";
    }
    void ajustaPadsButNeverCuts()
    {
        QFETCH(QString, text);
        QFETCH(int, width);
        QFETCH(QString, expected);
        QCOMPARE(Ajusta(text, width), expected);
    }

    void weekdayNames()
    {
        // 2026-03-01 is a Sunday.
        QStringList names;
        for (int day = 1; day <= 7; ++day)
            names << NomeSemana(QDate(2026, 3, day));
        QCOMPARE(names, QStringList({"Domingo", "Segunda", "Terça", "Quarta", "Quinta", "Sexta", "Sábado"}));
        QCOMPARE(NomeSemana(QDate()), QString());
        QVERIFY(EmptyString(" \t"));
        QVERIFY(!EmptyString(" x"));
    }

    void codePictureLevels_data()
    {
        QTest::addColumn<QString>("picture");
        QTest::addColumn<int>("levels");
        QTest::addColumn<QList<int>>("accumulated"); // TamAcNivel("0") .. TamAcNivel(levels + 1)
        QTest::newRow("no picture") << "" << 0 << QList<int>{0, 0};
        QTest::newRow("one level") << "9999" << 1 << QList<int>{0, 4, 4};
        QTest::newRow("two levels") << "99.999" << 2 << QList<int>{0, 2, 5, 5};
        QTest::newRow("three levels") << "99.99.999" << 3 << QList<int>{0, 2, 4, 7, 7};
        QTest::newRow("six levels") << "9.9.99.99.999.9999" << 6 << QList<int>{0, 1, 2, 4, 6, 9, 13, 13};
    }
    void codePictureLevels()
    {
        QFETCH(QString, picture);
        QFETCH(int, levels);
        QFETCH(QList<int>, accumulated);
        const TPictObj pict(picture);
        QCOMPARE(pict.GetTtNiveis(), levels);
        for (int level = 0; level < accumulated.size(); ++level)
            QCOMPARE(pict.TamAcNivel(QString::number(level)), accumulated[level]);
        QVERIFY_THROWS_EXCEPTION(HostError, pict.TamAcNivel("x"));
    }

    void checkResultServUnpacksBothEnvelopes()
    {
        const QVariant ok = wire::fromJson(wire::envelope::ok(QJsonArray{"1", "2", "3"}));
        QCOMPARE(CheckResultServ(ok, true, 0).toList().size(), 3);

        const QVariant refused = wire::fromJson(wire::envelope::fail("Central não cadastrada."));
        try {
            CheckResultServ(refused, true, 0);
            QFAIL("a refusal must raise");
        } catch (const ServerError &error) {
            QCOMPARE(error.text(), QStringLiteral("Central não cadastrada."));
        }
        QVERIFY(!CheckResultServ(refused, false, 0).isValid());
        QVERIFY_THROWS_EXCEPTION(ServerError, CheckResultServ(QVariant("0000000001"), true, 0));
    }

    void messageTableAndMensErro()
    {
        TestHost host;
        TMessages messages({"FILI_EMPTY|Filial agregada deve ser informada.", "SEM_BARRA", "DATA|Data|com barra"});
        QCOMPARE(messages.Msg("FILI_EMPTY"), QStringLiteral("Filial agregada deve ser informada."));
        QCOMPARE(messages.Msg("DATA"), QStringLiteral("Data|com barra"));
        QVERIFY_THROWS_EXCEPTION(HostError, messages.Msg("fili_empty"));

        // Without abort the command goes on; with abort it ends quietly after the one message.
        bool reachedEnd = false;
        QVERIFY(Dispatch([&] { MensErro("aviso", false); reachedEnd = true; }));
        QVERIFY(reachedEnd);
        reachedEnd = false;
        QVERIFY(!Dispatch([&] { MensErro("erro", true); reachedEnd = true; }));
        QVERIFY(!reachedEnd);
        QCOMPARE(host.ui.errors, QStringList({"aviso", "erro"}));

        // Any other failure is shown once, by the dispatcher.
        QVERIFY(!Dispatch([] { throw ServerError("Servidor fora do ar."); }));
        QVERIFY(!Dispatch([] { throw std::runtime_error("boom"); }));
        QCOMPARE(host.ui.errors.mid(2), QStringList({"Servidor fora do ar.", "Erro inesperado: boom"}));
    }

    void clientDataSetLoadsDeclaredFields()
    {
        TClientDataSet cds("cdsServico");
        cds.AddField("IDMARCADO", FieldType::FixedString, 1);
        cds.AddField("CDFILIAL", FieldType::String, 4, false, "Filial", 5);
        cds.AddField("CDSERVFILI", FieldType::String, 5, false, "Código");

        wire::DataPacket packet;
        packet.fields = {{"CDSERVFILI", "string", 5}, {"EXTRA", "string", 1}, {"CDFILIAL", "string", 4}, {"IDMARCADO", "string", 1}};
        packet.rows = {{"00010", "x", "0001", "N"}, {"00020", "y", "0002", "S"}};
        cds.LoadFromPacket(packet.toVariant());
        QCOMPARE(cds.RecordCount(), 2);
        QCOMPARE(cds.RecNo(), 1);
        QCOMPARE(cds.FieldByName("CDFILIAL")->AsString(), QStringLiteral("0001"));
        QCOMPARE(cds.FieldByName("CDFILIAL")->label(), QStringLiteral("Filial"));
        QVERIFY(!cds.FindField("EXTRA"));
        QStringList walked;
        for (cds.First(); !cds.Eof(); cds.Next())
            walked << cds.FieldByName("CDSERVFILI")->AsString();
        QCOMPARE(walked, QStringList({"00010", "00020"}));

        wire::DataPacket missing;
        missing.fields = {{"IDMARCADO", "string", 1}, {"CDSERVFILI", "string", 5}};
        try {
            cds.LoadFromPacket(missing.toVariant());
            QFAIL("a packet without a declared field must be refused");
        } catch (const HostError &error) {
            QVERIFY2(error.text().contains("CDFILIAL"), qPrintable(error.text()));
        }
        QCOMPARE(cds.RecordCount(), 2); // the previous rows stay
    }

    void queryChoosesTheTextOfItsDialect()
    {
        TestHost host;
        TADOIBQuery query(host.database.get(), "qryGrupServ");
        query.SQL = {"SELECT CDGRUPSERV, NMGRUPSERV", "  FROM GRUPSERV", " ORDER BY CDGRUPSERV"};
        query.SQL_ORACLE = {"SELECT 'oracle' FROM DUAL"};
        query.SQL_IB = {"   "};
        QCOMPARE(query.sqlFor(dialectForDriver("QOCI")), query.SQL_ORACLE);
        QCOMPARE(query.sqlFor(dialectForDriver("QSQLITE")), query.SQL);
        QCOMPARE(query.sqlFor(dialectForDriver("QPSQL")), query.SQL);
        QCOMPARE(query.sqlFor(dialectForDriver("QIBASE")), query.SQL); // blank text falls back
        QCOMPARE(dialectForDriver("QODBC"), SqlDialect::MsSql);

        query.AddField("CDGRUPSERV", FieldType::String, 3, true, "Código");
        query.AddField("NMGRUPSERV", FieldType::String, 30, false, "Nome");
        QVERIFY(!query.Active());
        query.Open();
        QCOMPARE(query.RecordCount(), 2);
        QCOMPARE(query.FieldByName("CDGRUPSERV")->AsString(), QStringLiteral("001"));
    }

    void queryBindsNamedParametersAndRunsBeforeOpen()
    {
        TestHost host;
        TADOIBQuery query(host.database.get(), "qryFilial");
        query.SQL = {"SELECT A.CDFILIAL, A.NMFILIAL, A.CDFILCENTZUB,",
                     "       (SELECT NMFILIAL FROM FILIAL WHERE CDFILIAL = A.CDFILCENTZUB) AS NMFILCENTZUB",
                     "  FROM FILIAL A", " WHERE CDFILIAL = :P_CDFILIAL AND A.NMFILIAL <> ':NAO_PARAM'"};
        QCOMPARE(TADOIBQuery::parameterNames(query.SQL.join('\n')), QStringList({"P_CDFILIAL"}));
        int beforeOpenRuns = 0;
        query.BeforeOpen = [&](TDataSet *) {
            ++beforeOpenRuns;
            query.ParamByName("P_CDFILIAL").setAsString("0001");
        };
        query.Open();
        QCOMPARE(beforeOpenRuns, 1);
        QCOMPARE(query.RecordCount(), 1);
        QCOMPARE(query.FieldByName("NMFILCENTZUB")->AsString(), QStringLiteral("Central Norte"));
        QVERIFY_THROWS_EXCEPTION(HostError, query.ParamByName("P_INEXISTENTE"));
    }

    void queryIsReadOnly()
    {
        TestHost host;
        TADOIBQuery query(host.database.get(), "qryX");
        query.SQL = {"DELETE FROM FILIAL"};
        QVERIFY_THROWS_EXCEPTION(HostError, query.Open());
        // Even a statement that slips past the check cannot write: the connection is read-only.
        query.SQL = {"WITH x AS (SELECT 1) DELETE FROM FILIAL"};
        QVERIFY_THROWS_EXCEPTION(HostError, query.Open());
        QCOMPARE(host.session->moduFili("0001"), QStringLiteral("F"));
    }

    void branchRolesAndProcessingDates()
    {
        TestHost host;
        QCOMPARE(ModuFili("CE01", true), QStringLiteral("M"));
        QCOMPARE(ModuFili("0001", true), QStringLiteral("F"));
        for (const QString &code : {QStringLiteral("0002"), QStringLiteral("0004"), QStringLiteral("9999")}) {
            const QString answer = ModuFili(code, true);
            QVERIFY2(answer.startsWith(kRoleErrorPrefix) && answer.size() > 5, qPrintable(answer));
        }
        QVERIFY(ModuFili("0002", true).mid(5).contains("rescindido"));
        QCOMPARE(DataProc("0001"), QDate(2026, 3, 16));
        // No branch named: the logged-in branch's date (0001), not the calendar's.
        QCOMPARE(DataProc(""), QDate(2026, 3, 16));
        QCOMPARE(DataProc("0003"), QDate::currentDate());
        QCOMPARE(NomeFiliProc(), QStringLiteral("EM Jardim"));
        QCOMPARE(Operador(), QStringLiteral("OP01"));
    }

    void localCacheIsRefreshedOnRequest()
    {
        TestHost host;
        QCOMPARE(ModuFili("0005", true).left(5), QStringLiteral("ERRO:"));
        host.exec({"INSERT INTO FILIAL VALUES ('0005','EM Nova','N','N','CE01','F','2026-04-01')"});
        QCOMPARE(ModuFili("0005", true).left(5), QStringLiteral("ERRO:")); // still the old copy
        AtualizaLocalCache({"FILIAL"});
        QCOMPARE(ModuFili("0005", true), QStringLiteral("F"));
        QVERIFY_THROWS_EXCEPTION(HostError, AtualizaLocalCache({"PRODUTO"}));
    }
};

QTEST_MAIN(TstHostServices)
#include "tst_hostservices.moc"
