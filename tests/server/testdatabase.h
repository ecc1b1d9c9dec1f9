#pragma once

#include "serverharness.h"

#include <QSqlError>
#include <QTest>

// In a test's initTestCase: sets `url` to the run's database (harness::testDatabaseUrl), or skips
// the PostgreSQL half when no PostgreSQL is at hand outside CI, or fails.
#define ZUB_OPEN_TEST_DATABASE(url, postgres, scratch, dir)                                           \
    do {                                                                                              \
        QString why_;                                                                                 \
        url = harness::testDatabaseUrl(postgres, scratch, dir, &why_);                                \
        if (url.isEmpty() && (!(postgres) || !qEnvironmentVariableIsEmpty("CI")))                     \
            QFAIL(qPrintable(why_));                                                                  \
        if (url.isEmpty())                                                                            \
            QSKIP(qPrintable(QStringLiteral("PostgreSQL tests skipped: %1").arg(why_)));              \
    } while (false)

namespace harness {

// What a server test runs against: a fresh database of its kind with the demo data, the real
// server on it with the shared token, and a connection of the test's own for checks. Started by
// ZUB_START_DEMO_SERVER in initTestCase, ended by stop() in cleanupTestCase.
struct DemoServer {
    DemoServer(bool onPostgres, const QString &connectionName) : postgres(onPostgres), connection(connectionName) {}
    bool postgres;
    QString connection;
    QTemporaryDir dir;
    PostgresScratch pg;
    QString url;
    ServerProcess server;

    QSqlDatabase db() const { return QSqlDatabase::database(connection); }
    // The server's exit code after SIGTERM (0 when it ended cleanly, also when it never ran).
    int stop()
    {
        QSqlDatabase::database(connection, false).close();
        QSqlDatabase::removeDatabase(connection);
        return server.isRunning() ? server.stop() : 0;
    }
};

// Runs the test class once on SQLite and once on PostgreSQL; answers the failures of both.
template <typename Test>
int runOnBothDatabases(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    Test onSqlite(false);
    int failures = QTest::qExec(&onSqlite, argc, argv);
    Test onPostgres(true);
    failures += QTest::qExec(&onPostgres, argc, argv);
    return failures;
}

} // namespace harness

// In initTestCase: the demo database (with `demoArguments` added to --create-demo), the server
// with `token`, and the check connection, or a failure (or the PostgreSQL half skipped).
#define ZUB_START_DEMO_SERVER(demo, token, demoArguments)                                                     \
    do {                                                                                                      \
        ZUB_OPEN_TEST_DATABASE((demo).url, (demo).postgres, (demo).pg, (demo).dir);                           \
        QString output_;                                                                                      \
        QCOMPARE(harness::runTool(QStringList{"--database", (demo).url, "--create-demo"} + (demoArguments), &output_), 0); \
        QString why_;                                                                                         \
        QVERIFY2((demo).server.start((demo).url, token, {}, &why_), qPrintable(why_));                        \
        QSqlDatabase check_ = harness::openDatabase((demo).url, (demo).connection);                           \
        QVERIFY2(check_.open(), qPrintable(check_.lastError().text()));                                       \
    } while (false)

