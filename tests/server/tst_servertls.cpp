// The server over HTTPS (its own TLS) and the client's certificate checks, with authorities and a
// certificate made here by openssl.
#include "serverharness.h"
#include "client/signin.h"
#include "host/data/errors.h"
#include "host/network/netconnection.h"

#include <QProcess>
#include <QtTest>

using namespace host;

namespace {

const QByteArray kToken = "token-tls-0123456789abcdef";

bool openssl(const QStringList &arguments, const QString &folder)
{
    QProcess process;
    process.setWorkingDirectory(folder);
    process.setProcessChannelMode(QProcess::MergedChannels);
    process.start(QStringLiteral("openssl"), arguments);
    const bool done = process.waitForFinished(60000) && process.exitCode() == 0;
    if (!done)
        qWarning("openssl %s: %s", qPrintable(arguments.join(' ')), process.readAll().constData());
    return done;
}

// A self-signed authority named `name` (name.key, name.pem).
bool makeAuthority(const QString &name, const QString &folder)
{
    return openssl({"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-days", "2", "-subj", "/CN=" + name,
                    "-keyout", name + ".key", "-out", name + ".pem"}, folder);
}

} // namespace

class TstServerTls : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    harness::ServerProcess m_server;

private Q_SLOTS:
    void initTestCase()
    {
        const QString folder = m_dir.path();
        QVERIFY(makeAuthority("ca", folder));
        QVERIFY(makeAuthority("outra-ca", folder));
        QVERIFY(openssl({"req", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=127.0.0.1", "-keyout", "server.key", "-out",
                         "server.csr"}, folder));
        QFile extensions(m_dir.filePath("san.ext"));
        QVERIFY(extensions.open(QIODevice::WriteOnly));
        extensions.write("subjectAltName=IP:127.0.0.1,DNS:localhost\n");
        extensions.close();
        QVERIFY(openssl({"x509", "-req", "-in", "server.csr", "-CA", "ca.pem", "-CAkey", "ca.key", "-CAcreateserial",
                         "-days", "2", "-extfile", "san.ext", "-out", "server.pem"}, folder));
        const QString database = "sqlite:" + m_dir.filePath("demo.db");
        QString output;
        QCOMPARE(harness::runTool({"--database", database, "--create-demo", "--days", "7"}, &output), 0);
        QString error;
        QVERIFY2(m_server.start(database, kToken,
                                {"--tls-cert", m_dir.filePath("server.pem"), "--tls-key", m_dir.filePath("server.key")}, &error),
                 qPrintable(error));
        QVERIFY(m_server.output().contains("https://"));
    }

    void certificateChecks_data()
    {
        QTest::addColumn<QString>("authority");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("the authority that signed it") << "ca.pem" << true;
        QTest::newRow("another authority") << "outra-ca.pem" << false;
        QTest::newRow("the system's authorities") << "" << false;
    }
    void certificateChecks()
    {
        QFETCH(QString, authority);
        QFETCH(bool, accepted);
        TNetConnection connection("netCustProd", harness::kCostObject);
        connection.Host = "127.0.0.1";
        connection.Port = m_server.port();
        connection.Token = QString::fromLatin1(kToken);
        connection.UseTls = true;
        connection.CaFile = authority.isEmpty() ? QString() : m_dir.filePath(authority);
        try {
            connection.Open();
            const QVariant answer = connection.Call("ListaTipoCusto");
            QVERIFY(accepted);
            QVERIFY(answer.toString().contains("NMTIPOCUSTO") || answer.toMap().contains("data"));
        } catch (const ServerError &error) {
            QVERIFY2(!accepted, qPrintable(error.text()));
            QVERIFY2(error.text().contains("certificado") && error.text().contains(QString::number(m_server.port())),
                     qPrintable(error.text()));
        }
    }

    // The operator's password goes only where the configured transport goes: over HTTPS to a server
    // the configured authority vouches for, never to one that another authority signed.
    void signInAndOutOverTheConfiguredTransport()
    {
        ClientConfig config;
        config.serverHost = "127.0.0.1";
        config.serverPort = m_server.port();
        config.transport.tls = true;
        config.transport.caFile = m_dir.filePath("ca.pem");
        const client::SignedIn session = client::signIn(config, {"CEN0001", "central0001"});
        QCOMPARE(session.operatorCode, QStringLiteral("CEN0001"));
        TNetConnection ping("netCustProd", harness::kCostObject);
        ping.useTransport(config.transport);
        ping.Host = config.serverHost;
        ping.Port = config.serverPort;
        ping.Token = session.token;
        ping.Open();
        ping.Close();
        client::signOut(config, session.token);
        QVERIFY_THROWS_EXCEPTION(ServerError, ping.Open());

        config.transport.caFile = m_dir.filePath("outra-ca.pem");
        try {
            client::signIn(config, {"CEN0001", "central0001"});
            QFAIL("signed in at a server of another authority");
        } catch (const HostError &error) {
            QVERIFY2(error.text().contains("certificado"), qPrintable(error.text()));
        }
    }

    // Only TLS 1.2 and later, with authenticated encryption and a forward-secret key exchange.
    void weakTlsIsRefused_data()
    {
        QTest::addColumn<QStringList>("client");
        QTest::addColumn<bool>("accepted");
        QTest::newRow("TLS 1.1") << QStringList{"-tls1_1", "-cipher", "DEFAULT:@SECLEVEL=0"} << false;
        QTest::newRow("RSA key exchange") << QStringList{"-tls1_2", "-cipher", "AES128-GCM-SHA256:@SECLEVEL=0"} << false;
        QTest::newRow("CBC with SHA-1") << QStringList{"-tls1_2", "-cipher", "ECDHE-RSA-AES128-SHA:@SECLEVEL=0"} << false;
        QTest::newRow("TLS 1.2, ECDHE with AES-GCM") << QStringList{"-tls1_2"} << true;
    }
    void weakTlsIsRefused()
    {
        QFETCH(QStringList, client);
        QFETCH(bool, accepted);
        QProcess handshake;
        handshake.setProcessChannelMode(QProcess::MergedChannels);
        handshake.start("openssl", QStringList{"s_client", "-connect", QStringLiteral("127.0.0.1:%1").arg(m_server.port())} + client);
        handshake.closeWriteChannel();
        QVERIFY(handshake.waitForFinished(20000));
        const QString output = QString::fromLocal8Bit(handshake.readAll());
        QCOMPARE(!output.contains("Cipher is (NONE)") && output.contains("Cipher is"), accepted);
    }

    void aKeyOthersMayReadIsRefused()
    {
        const QString key = m_dir.filePath("aberta.key");
        QVERIFY(QFile::copy(m_dir.filePath("server.key"), key));
        QVERIFY(QFile::setPermissions(key, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ReadOther));
        QString output;
        QCOMPARE(harness::runTool({"--database", "sqlite:" + m_dir.filePath("demo.db"), "--listen", "127.0.0.1:0", "--tls-cert",
                                   m_dir.filePath("server.pem"), "--tls-key", key},
                                  &output),
                 1);
        QVERIFY2(output.contains("chmod 640"), qPrintable(output));
    }

    void plainHttpIsNoAnswer()
    {
        TNetConnection connection("netCustProd", harness::kCostObject);
        connection.Host = "127.0.0.1";
        connection.Port = m_server.port();
        connection.Token = QString::fromLatin1(kToken);
        connection.ConnectTimeoutMs = 2000;
        connection.CallTimeoutMs = 3000;
        QVERIFY_THROWS_EXCEPTION(ServerError, connection.Open());
    }

    void cleanupTestCase() { QCOMPARE(m_server.stop(), 0); }
};

QTEST_MAIN(TstServerTls)
#include "tst_servertls.moc"
