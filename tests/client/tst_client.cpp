// The desktop client: modules opened from the menu and from the command line, and start-up failures.
#include "../server/serverharness.h"
#include "support/testhost.h"

#include "client/mainwindow.h"
#include "client/moduleloader.h"
#include "filters/filtervalue.h"
#include "host/services/dispatcher.h"

#include <QLabel>
#include <QLibrary>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QProcess>
#include <QtTest>

using namespace client;

static QString binDir()
{
    return QCoreApplication::applicationDirPath();
}

class TestClient : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase()
    {
        // The client's data all comes from the application server: a real one on a small demo.
        m_demo = m_serverDir.filePath(QStringLiteral("demo.db"));
        QString output;
        QCOMPARE(harness::runTool({"--database", "sqlite:" + m_demo, "--create-demo", "--days", "31"}, &output), 0);
        QString why;
        QVERIFY2(m_server.start("sqlite:" + m_demo, kToken, {}, &why), qPrintable(why));
    }
    void cleanupTestCase() { QCOMPARE(m_server.stop(), 0); }

    void init() { m_host = std::make_unique<TestHost>(); }
    void cleanup()
    {
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_host.reset();
    }

    void menuOpensTheModuleOnce()
    {
        ModuleLoader loader(binDir());
        MainWindow window({{QStringLiteral("Relatório de Teste"), QStringLiteral("zubtestmodule")}},
                          [&loader](const QString &module) { loader.open(module); });
        m_host->services->setMainWindow(&window);
        window.setLoggedIn(QStringLiteral("0001"), QStringLiteral("EM Jardim"), QStringLiteral("OP01"));
        window.show();
        QCOMPARE(window.branchLabel()->text(), QStringLiteral("Filial: 0001 - EM Jardim"));
        QCOMPARE(window.operatorLabel()->text(), QStringLiteral("Operador: OP01"));

        const QList<QAction *> actions = window.reportMenu()->actions();
        QCOMPARE(actions.size(), 1);
        QCOMPARE(actions[0]->text(), QStringLiteral("Relatório de Teste"));
        actions[0]->trigger();
        actions[0]->trigger();

        QLibrary module(loader.fileFor(QStringLiteral("zubtestmodule")));
        auto calls = reinterpret_cast<int (*)()>(module.resolve("TestModuleCalls"));
        auto form = reinterpret_cast<QWidget *(*)()>(module.resolve("TestModuleForm"));
        QVERIFY(calls && form);
        QCOMPARE(calls(), 2);
        QVERIFY(m_host->ui.errors.isEmpty());
        const QList<QMdiSubWindow *> windows = window.mdiArea()->subWindowList();
        QCOMPARE(windows.size(), 1); // the second call brings the same form to the front
        QCOMPARE(windows[0]->widget(), form());
        QVERIFY(windows[0]->isVisible());

        window.close(); // closes the forms first, through their own close handling
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        QCOMPARE(form(), nullptr);
        m_host->services->setMainWindow(nullptr);
    }

    void moduleFailures_data()
    {
        QTest::addColumn<QString>("module");
        QTest::addColumn<bool>("inBin");
        QTest::addColumn<QString>("expected");
        QTest::newRow("missing file") << "PKG_NAOEXISTE" << true << "o arquivo %1/libPKG_NAOEXISTE.so não existe.";
        QTest::newRow("no IniProc") << "zubhost" << true << "O módulo zubhost (arquivo %1/libzubhost.so) não exporta o procedimento IniProc.";
        QTest::newRow("not a library") << "ruim" << false << "Não foi possível carregar o módulo ruim (arquivo %1/libruim.so). Motivo: ";
        QTest::newRow("a path is not a name") << "../ruim" << false << "Nome de módulo inválido: \"../ruim\"";
    }
    void moduleFailures()
    {
        QFETCH(QString, module);
        QFETCH(bool, inBin);
        QFETCH(QString, expected);
        QTemporaryDir scratch;
        QFile junk(scratch.filePath(QStringLiteral("libruim.so")));
        QVERIFY(junk.open(QIODevice::WriteOnly));
        junk.write("isto não é uma biblioteca");
        junk.close();
        const QString folder = inBin ? binDir() : scratch.path();
        ModuleLoader loader(folder);
        QVERIFY(!host::Dispatch([&] { loader.open(module); }));
        QCOMPARE(m_host->ui.errors.size(), 1);
        QVERIFY2(m_host->ui.errors[0].contains(expected.arg(folder)), qPrintable(m_host->ui.errors[0]));
    }

    void startOptionOpensTheModule()
    {
        QTemporaryDir scratch;
        const QString marker = scratch.filePath(QStringLiteral("marker"));
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("ZUB_TESTMODULE_MARKER"), marker);
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(binDir() + QStringLiteral("/zub-client"),
                      {QStringLiteral("--config"), writeConfig(scratch, m_server.port()), QStringLiteral("--open"),
                       QStringLiteral("zubtestmodule")});
        QVERIFY(process.waitForStarted());
        // The module's line, not the file alone: the file exists a moment before it is written.
        const auto markerText = [&marker] {
            QFile file(marker);
            return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
        };
        QTRY_COMPARE_WITH_TIMEOUT(markerText(), QByteArray("IniProc\n"), 20000);
        QVERIFY(process.state() == QProcess::Running);
        process.terminate();
        QVERIFY(process.waitForFinished(10000));
        QCOMPARE(markerText(), QByteArray("IniProc\n"));
        QVERIFY2(!process.readAllStandardError().contains("zub-client:"), "no start-up message expected");
    }

    void startupFailures_data()
    {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("exitCode");
        QTest::addColumn<QString>("message");
        QTest::newRow("configuration file missing") << QStringList{"--config", "@/nao-existe.ini"} << 1
                                                    << "Arquivo de configuração não encontrado";
        QTest::newRow("token unreadable") << QStringList{"--config", "@CONFIG", "--token-file", "@/sem-token"} << 1
                                          << "Não foi possível ler o arquivo da credencial do servidor";
        QTest::newRow("no branch") << QStringList{"--token-file", "@/token"} << 1 << "Filial do usuário não configurada";
        // A secret others may read is refused, as ssh refuses such a key.
        QTest::newRow("token file others may read") << QStringList{"--config", "@CONFIG", "--token-file", "@/aberto"} << 1
                                                    << "está acessível a outros usuários";
        QTest::newRow("configuration with a token others may read") << QStringList{"--config", "@/aberto.ini"} << 1
                                                                    << "pode ser lido por outros usuários";
        // Without a shared token the client signs in; with nobody at the screen it cannot ask.
        QTest::newRow("operator without credentials") << QStringList{} << 1 << "Informe as credenciais do operador";
        // An older configuration still starts, and is told its database is of no use now.
        QTest::newRow("an older [banco]") << QStringList{"--config", "@OLD", "--token-file", "@/sem-token"} << 1
                                          << "a seção [banco] (ou a opção --database) não é mais usada";
        QTest::newRow("unknown option") << QStringList{"--nada"} << 2 << "Use --help";
    }
    void startupFailures()
    {
        QFETCH(QStringList, arguments);
        QFETCH(int, exitCode);
        QFETCH(QString, message);
        QTemporaryDir scratch;
        const QString config = writeConfig(scratch, m_server.port());
        QFile older(scratch.filePath(QStringLiteral("antigo.ini")));
        QVERIFY(older.open(QIODevice::WriteOnly));
        older.write("[sessao]\nfilial=0001\n[banco]\nendereco=sqlite:geral.db\n");
        older.close();
        for (const auto &[name, content] : {std::pair{"aberto", "token-de-teste-0123456789"},
                                            std::pair{"aberto.ini", "[sessao]\nfilial=0001\n[servidor]\ntoken=token-de-teste-0123456789\n"}}) {
            QFile exposed(scratch.filePath(QString::fromLatin1(name)));
            QVERIFY(exposed.open(QIODevice::WriteOnly));
            exposed.write(content);
            exposed.setPermissions(exposed.permissions() | QFileDevice::ReadOther);
        }
        QFile token(scratch.filePath(QStringLiteral("token")));
        QVERIFY(token.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner));
        token.write("token-de-teste-0123456789");
        token.close();
        for (QString &argument : arguments) {
            argument.replace(QStringLiteral("@CONFIG"), config);
            argument.replace(QStringLiteral("@OLD"), older.fileName());
            argument.replace(QLatin1Char('@'), scratch.path());
        }
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("XDG_CONFIG_HOME"), scratch.path()); // no default configuration
        env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
        process.setProcessEnvironment(env);
        process.start(binDir() + QStringLiteral("/zub-client"), arguments);
        QVERIFY(process.waitForFinished(20000));
        const QString errors = QString::fromUtf8(process.readAllStandardError());
        QCOMPARE(process.exitCode(), exitCode);
        QVERIFY2(errors.contains(message), qPrintable(errors));
    }

    // Regression: without a display the client died before reading --help or --version.
    void helpAndVersionNeedNoDisplay_data()
    {
        QTest::addColumn<QString>("option");
        QTest::addColumn<QStringList>("expected");
        QTest::newRow("help") << "--help" << QStringList{"--config", "--open", "--branch", "--server-host", "--reports-dir", "--version"};
        QTest::newRow("version") << "--version" << QStringList{"zub-client 0.1"};
    }
    void helpAndVersionNeedNoDisplay()
    {
        QFETCH(QString, option);
        QFETCH(QStringList, expected);
        QProcess process;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        for (const char *name : {"QT_QPA_PLATFORM", "DISPLAY", "WAYLAND_DISPLAY"})
            env.remove(QLatin1String(name));
        process.setProcessEnvironment(env);
        process.start(binDir() + QStringLiteral("/zub-client"), {option});
        QVERIFY(process.waitForFinished(20000));
        QCOMPARE(process.exitCode(), 0);
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        for (const QString &text : expected)
            QVERIFY2(output.contains(text), qPrintable(text + " in " + output));
    }

    // The keys come from the module's own table: --help lists each, and the help page explains each.
    void everyBatchKeyIsListedAndDocumented()
    {
        QProcess process;
        process.start(binDir() + QStringLiteral("/zub-client"), {QStringLiteral("--help")});
        QVERIFY(process.waitForFinished(20000));
        const QString output = QString::fromUtf8(process.readAllStandardOutput());
        QFile page(QStringLiteral(ZUB_SOURCE_DIR "/docs/help/modo-lote.html"));
        QVERIFY(page.open(QIODevice::ReadOnly));
        const QString documented = QString::fromUtf8(page.readAll());
        QVERIFY(!zub01100::filterJsonKeys().isEmpty());
        for (const QString &key : zub01100::filterJsonKeys()) {
            QVERIFY2(output.contains(QStringLiteral("\n  %1=").arg(key)), qPrintable(key + " in " + output));
            QVERIFY2(documented.contains(QStringLiteral("<code>%1</code>").arg(key)), qPrintable(key));
        }
    }

private:
    static QString writeConfig(const QTemporaryDir &dir, int port)
    {
        const QString path = dir.filePath(QStringLiteral("client.ini"));
        QFile file(path);
        // It holds the shared token: the client starts without signing in an operator.
        if (file.open(QIODevice::WriteOnly, QFileDevice::ReadOwner | QFileDevice::WriteOwner))
            file.write(QStringLiteral("[sessao]\nfilial=0001\noperador=OP01\n[servidor]\nhost=127.0.0.1\nporta=%1\ntoken=%2\n")
                           .arg(port)
                           .arg(QString::fromLatin1(kToken))
                           .toUtf8());
        return path;
    }

    static constexpr char kToken[] = "token-de-teste-0123456789";
    QTemporaryDir m_serverDir;
    QString m_demo;
    harness::ServerProcess m_server;
    std::unique_ptr<TestHost> m_host;
};

QTEST_MAIN(TestClient)
#include "tst_client.moc"
