#include "host/data/errors.h"
#include "host/network/checkresultserv.h"
#include "host/network/httpclient.h"
#include "host/network/netconnection.h"
#include "host/services/session.h"
#include "support/recordingserver.h"
#include "support/testhost.h"
#include "wire/datapacket.h"

#include "host/work/longwork.h"

#include <QPushButton>
#include <QTcpServer>
#include <QThread>
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

// Counts its paintings: the proof that the window is painted while a call waits.
class PaintCounter : public QPushButton
{
public:
    int paints = 0;
    int clicks = 0;
    PaintCounter()
    {
        connect(this, &QPushButton::clicked, this, [this] { ++clicks; });
    }

protected:
    void paintEvent(QPaintEvent *event) override
    {
        ++paints;
        QPushButton::paintEvent(event);
    }
};

RecordingServer::Handler slowly(int ms, const RecordingServer::Reply &reply)
{
    return [ms, reply](const RecordingServer::Call &) {
        QThread::msleep(ms);
        return reply;
    };
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

    // Regression: a call blocked the GUI thread, so the window froze for as long as it lasted.
    // Regression: the client held any answer whole; a rogue server's 800 MB took 4 GB.
    void anAnswerPastTheBoundIsRefusedAsItArrives()
    {
        RecordingServer server;
        RecordingServer::Reply huge;
        huge.rawBody = QByteArray(3 << 20, 'x');
        server.on("GetFiliAgreg", huge);
        HttpPostRequest request;
        request.host = QStringLiteral("127.0.0.1");
        request.port = server.port();
        request.path = QStringLiteral("/rpc/Zub01100.rdmCustoPlanXReal");
        request.headers = {{"Authorization", "Bearer " + server.token().toLatin1()}, {"Content-Type", "application/json"}};
        request.body = R"({"jsonrpc":"2.0","id":1,"method":"GetFiliAgreg","params":[]})";
        request.maxAnswerBytes = 1 << 20;
        try {
            httpPost(request);
            QFAIL("an answer past the bound was taken");
        } catch (const HttpTransportFailure &failure) {
            QVERIFY(failure.kind == HttpTransportFailure::Kind::TooLarge);
        }
        request.maxAnswerBytes = 4 << 20;
        QCOMPARE(httpPost(request).body.size(), 3 << 20);
    }

    void windowPaintsButTakesNoInputDuringACall()
    {
        RecordingServer server;
        TestHost host(server.port());
        auto connection = connectionTo(server.port());
        connection->Open();
        server.on("ExecStpConsPlan", slowly(800, RecordingServer::envelope("0000000001")));

        PaintCounter window;
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        QTimer repaint;
        connect(&repaint, &QTimer::timeout, &window, [&window] { window.update(); });
        repaint.start(20);
        int paintsDuringCall = -1;
        QTimer::singleShot(100, &window, [&] {
            QTest::mouseClick(&window, Qt::LeftButton); // held back: the screen must not run again
            paintsDuringCall = window.paints;
        });
        const int paintsBefore = window.paints;
        connection->Call("ExecStpConsPlan");
        QVERIFY(paintsDuringCall > paintsBefore);
        QVERIFY(window.paints > paintsDuringCall);
        QCOMPARE(window.clicks, 0);
    }

    void cancelStopsTheCallHereAndOnTheServer()
    {
        RecordingServer server;
        TestHost host(server.port());
        auto connection = connectionTo(server.port());
        connection->Open();
        server.on("ExecStpConsPlan", slowly(3000, RecordingServer::envelope("0000000001")));
        server.on("rpc.cancel", RecordingServer::envelope(1));
        QTimer::singleShot(200, [] { requestCancel(); });
        QVERIFY_THROWS_EXCEPTION(CancelledError, connection->Call("ExecStpConsPlan"));
        QVERIFY(!cancelPending()); // the cancel is spent: the clean-up's calls go through
        QTRY_COMPARE(server.methodsCalled(), QStringList({"ExecStpConsPlan", "rpc.cancel"}));
        const QList<RecordingServer::Call> calls = server.calls();
        QCOMPARE(calls.last().params, QJsonArray({calls.at(calls.size() - 2).id}));

        // Ids differ across connections too: the server knows a call by token and id only.
        auto other = connectionTo(server.port());
        other->Open();
        QVERIFY(server.calls().last().id != calls.first().id);
    }

    void otherServers_data()
    {
        QTest::addColumn<QString>("failure");
        QTest::addColumn<bool>("movesOn");
        QTest::newRow("dead at connect") << "connect" << true;
        QTest::newRow("gone before the call was sent") << "gone" << true;
        QTest::newRow("no answer after the call was sent") << "timeout" << false;
        QTest::newRow("balancer with no server behind it") << "balancer 503" << true;
        QTest::newRow("balancer lost the server during the call") << "balancer 502" << false;
    }
    void otherServers()
    {
        QFETCH(QString, failure);
        QFETCH(bool, movesOn);
        auto first = std::make_unique<RecordingServer>();
        RecordingServer second;
        TestHost host(second.port());
        const int firstPort = failure == "connect" ? unusedPort() : first->port();
        auto connection = connectionTo(firstPort);
        connection->OtherAddresses = {QStringLiteral("127.0.0.1:%1").arg(second.port())};
        connection->CallTimeoutMs = 300;
        RecordingServer::Reply balancerPage;
        balancerPage.httpStatus = failure.endsWith("503") ? 503 : 502;
        balancerPage.rawBody = "<html><body><h1>" + QByteArray::number(balancerPage.httpStatus) + "</h1></body></html>";
        first->on("GetAgrupFili", failure.startsWith("balancer") ? slowly(0, balancerPage) : slowly(1500, RecordingServer::envelope("primeiro")));
        second.on("GetAgrupFili", RecordingServer::envelope("segundo"));
        connection->Open();
        if (failure == "connect") {
            QCOMPARE(connection->ActiveAddress(), QStringLiteral("127.0.0.1:%1").arg(second.port()));
            QCOMPARE(connection->SkippedServers().size(), 1);
            QVERIFY(connection->SkippedServers().first().startsWith(QStringLiteral("127.0.0.1:%1").arg(firstPort)));
        }
        if (failure == "gone")
            first.reset();
        if (movesOn) {
            QCOMPARE(CheckResultServ(connection->Call("GetAgrupFili", {RpcArg::val("T")}), true, 0).toString(), "segundo");
        } else {
            const QString message = failureOf([&] { connection->Call("GetAgrupFili", {RpcArg::val("T")}); });
            QVERIFY2(message.contains(QStringLiteral("127.0.0.1:%1").arg(firstPort)), qPrintable(message));
            QVERIFY2(!failure.startsWith("balancer") || message.startsWith("Servidor ocupado/indisponível, tente novamente"), qPrintable(message));
            QVERIFY(second.methodsCalled().isEmpty()); // a call that may have run is never sent twice
        }
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
