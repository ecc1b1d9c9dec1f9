#include "host/data/errors.h"
#include "host/network/checkresultserv.h"
#include "host/network/netconnection.h"
#include "host/services/session.h"
#include "support/recordingserver.h"
#include "support/testhost.h"
#include "wire/datapacket.h"

#include <QTcpServer>
#include <QtTest>

using namespace host;

namespace {

const QString kObject = QStringLiteral("Zub01100.rdmCustoPlanXReal");

// A connection addressed the way the screens do it: from the session, in BeforeConnect.
std::unique_ptr<TNetConnection> connectionTo(int port)
{
    auto connection = std::make_unique<TNetConnection>("netCustoPlanXReal", kObject);
    connection->BeforeConnect = [port](TNetConnection *c) {
        c->Host = QStringLiteral("127.0.0.1");
        c->Port = port;
    };
    return connection;
}

int unusedPort()
{
    QTcpServer probe;
    probe.listen(QHostAddress::LocalHost, 0);
    return probe.serverPort(); // closed when probe goes, so nothing listens there
}

QString failureOf(const std::function<void()> &action)
{
    try {
        action();
    } catch (const ServerError &error) {
        return error.text();
    }
    return QString();
}

} // namespace

class TstNetConnection : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void callSendsPositionalArgumentsWithTheToken()
    {
        RecordingServer server;
        TestHost host(server.port());
        auto connection = connectionTo(server.port());
        connection->Open();
        QVERIFY(connection->Connected());
        server.on("GetFiliAgreg", RecordingServer::envelope("ok"));

        QString kind = QStringLiteral("F");
        const QVariant answer = connection->Call("GetFiliAgreg", {RpcArg::ref(kind), RpcArg::val(""), RpcArg::val("CE01"),
                                                                  RpcArg::val(QDate(2026, 3, 1))});
        QCOMPARE(CheckResultServ(answer, true, 0).toString(), QStringLiteral("ok"));
        const RecordingServer::Call call = server.calls().last();
        QCOMPARE(call.object, kObject);
        QCOMPARE(call.method, QStringLiteral("GetFiliAgreg"));
        QCOMPARE(call.params, QJsonArray({"F", "", "CE01", "2026-03-01"}));
        QCOMPARE(call.authorization, QStringLiteral("Bearer test-token"));
        QCOMPARE(kind, QStringLiteral("F")); // nothing written back: the variable keeps its value
    }

    void byReferenceArgumentsAreWrittenBack()
    {
        RecordingServer server;
        TestHost host(server.port());
        auto connection = connectionTo(server.port());
        connection->Open();
        RecordingServer::Reply reply = RecordingServer::envelope("");
        reply.vars = {{0, QJsonValue("A")}, {1, QJsonValue("não escrito")}, {2, QJsonArray{"", "", ""}}, {9, QJsonValue("fora")}};
        server.on("deletaListas", reply);

        QString kind = QStringLiteral("F");
        QString byValue = QStringLiteral("original");
        QVariant lists = QVariantList{"0000000001", "0000000002", "0000000003"};
        connection->Call("deletaListas", {RpcArg::ref(kind), RpcArg::val(byValue), RpcArg::ref(lists)});
        QCOMPARE(kind, QStringLiteral("A"));
        QCOMPARE(byValue, QStringLiteral("original"));
        QCOMPARE(lists.toList(), QVariantList({"", "", ""}));
        QCOMPARE(server.calls().last().params.at(2), QJsonValue(QJsonArray{"0000000001", "0000000002", "0000000003"}));
    }

    void beforeConnectRunsOnEveryConnect()
    {
        RecordingServer first;
        RecordingServer second;
        TestHost host(first.port());
        int port = first.port();
        int runs = 0;
        TNetConnection connection("netCustProd", "Cus00000.rdmCustProd");
        connection.BeforeConnect = [&](TNetConnection *c) {
            ++runs;
            c->Host = "127.0.0.1";
            c->Port = port;
        };
        connection.Open();
        connection.Close();
        QVERIFY(!connection.Connected());
        port = second.port();
        connection.Open();
        QCOMPARE(runs, 2);
        QCOMPARE(first.calls().size(), 1);
        QCOMPARE(second.calls().size(), 1);
        QCOMPARE(second.calls().first().object, QStringLiteral("Cus00000.rdmCustProd"));
    }

    void failuresRaiseClearMessages()
    {
        RecordingServer server;
        TestHost host(server.port());

        const int deadPort = unusedPort();
        const QString unreachable = failureOf([&] { connectionTo(deadPort)->Open(); });
        QVERIFY2(unreachable.contains(QStringLiteral("127.0.0.1:%1").arg(deadPort)), qPrintable(unreachable));

        auto connection = connectionTo(server.port());
        QVERIFY(failureOf([&] { connection->Call("GetAgrupFili", {RpcArg::val("T")}); }).contains("não está aberta"));
        connection->Open();

        RecordingServer::Reply garbage;
        garbage.rawBody = "<html>erro</html>";
        server.on("GetAgrupFili", garbage);
        QVERIFY(failureOf([&] { connection->Call("GetAgrupFili", {RpcArg::val("T")}); }).contains("Resposta inválida"));

        RecordingServer::Reply fault;
        fault.errorCode = -32602;
        fault.errorMessage = QStringLiteral("GetAgrupFili espera 1 argumento.");
        server.on("GetAgrupFili", fault);
        QCOMPARE(failureOf([&] { connection->Call("GetAgrupFili"); }), fault.errorMessage);

        server.setToken("outro-token");
        QVERIFY(failureOf([&] { connection->Call("GetAgrupFili", {RpcArg::val("T")}); }).contains("recusou a credencial"));
        QVERIFY(failureOf([&] { connection->Open(); }).contains("recusou a credencial"));
        QVERIFY(!connection->Connected());
    }

    void costTypesComeFromTheCostModuleInOrder()
    {
        RecordingServer server;
        TestHost host(server.port());
        wire::DataPacket packet;
        packet.fields = {{"NRTIPOCUSTO", "integer", 0}, {"NMTIPOCUSTO", "string", 40}};
        packet.rows = {{3, "Custo Médio"}, {1, "Último Custo"}, {7, "Custo Padrão"}};
        server.on("ListaTipoCusto", RecordingServer::envelope(packet.toJson()));

        TNetConnection connection("netCustProd", "Cus00000.rdmCustProd");
        connection.BeforeConnect = [&](TNetConnection *c) {
            c->Host = WebURL();
            c->Port = WebPort();
        };
        connection.Open();
        QCOMPARE(ListaTipoCusto(&connection, nullptr), QStringList({"Custo Médio", "Último Custo", "Custo Padrão"}));
        QCOMPARE(NumeroTipoCusto(0), 3);
        QCOMPARE(NumeroTipoCusto(2), 7);
        QVERIFY_THROWS_EXCEPTION(HostError, NumeroTipoCusto(-1));
        QVERIFY_THROWS_EXCEPTION(HostError, NumeroTipoCusto(3));
    }
};

QTEST_MAIN(TstNetConnection)
#include "tst_netconnection.moc"
