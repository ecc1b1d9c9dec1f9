#include "server/database.h"
#include "server/demodata.h"
#include "server/reportdata.h"
#include "server/schema.h"
#include "server/serverconfig.h"
#include "server/sessions.h"
#include "wire/keylist.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QtTest>

#include <optional>
#include <thread>

using wire::KeyListRules;

class TstServerRules : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyListsAreReadInEveryForm_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("all");
        QTest::addColumn<QStringList>("keys");
        QTest::newRow("dialog form") << "_0101_0102_" << false << QStringList{"0101", "0102"};
        QTest::newRow("built from all rows") << "0101_0102_" << false << QStringList{"0101", "0102"};
        QTest::newRow("one bare code") << "0101" << false << QStringList{"0101"};
        QTest::newRow("all") << "T" << true << QStringList{};
        QTest::newRow("nothing marked") << "" << false << QStringList{};
        QTest::newRow("list form of nothing") << "_" << false << QStringList{};
        QTest::newRow("repeated key kept once") << "_0101_0102_0101_" << false << QStringList{"0101", "0102"};
        QTest::newRow("lower-case t is a code") << "t" << false << QStringList{"t"};
    }
    void keyListsAreReadInEveryForm()
    {
        QFETCH(QString, text);
        QFETCH(bool, all);
        QFETCH(QStringList, keys);
        QString error;
        const auto selection = wire::parseKeyList(text, wire::KeyListRules{QStringLiteral("Lista de filiais"), 4}, &error);
        QVERIFY2(selection, qPrintable(error));
        QCOMPARE(selection->all, all);
        QCOMPARE(selection->keys, keys);
    }

    void malformedOrHostileKeyListsAreRefused_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("reason");
        QTest::newRow("no closing separator") << "_0101_0102" << "terminar";
        QTest::newRow("empty key") << "_0101__0102_" << "vazia";
        QTest::newRow("quote") << "_0101_01'2_" << "caractere inválido";
        QTest::newRow("sql") << "_0101_0)OR(1=1_" << "caractere inválido";
        QTest::newRow("blank inside") << "_01 1_" << "caractere inválido";
        QTest::newRow("non-ascii letter") << "_01é1_" << "caractere inválido";
        QTest::newRow("key too long") << "_01011_" << "maior que 4";
        QTest::newRow("bare code too long") << "01011" << "maior que 4";
    }
    void malformedOrHostileKeyListsAreRefused()
    {
        QFETCH(QString, text);
        QFETCH(QString, reason);
        QString error;
        QVERIFY(!wire::parseKeyList(text, wire::KeyListRules{QStringLiteral("Lista de filiais"), 4}, &error));
        QVERIFY2(error.startsWith(QStringLiteral("Lista de filiais")) && error.contains(reason), qPrintable(error));
    }

    void keyListRulesNarrowWhatIsAccepted()
    {
        QString error;
        wire::KeyListRules rules{QStringLiteral("Lista de serviços"), 9};
        rules.allowAll = false;
        QVERIFY(!wire::parseKeyList(QStringLiteral("T"), rules, &error));
        rules.allowSingle = false;
        QVERIFY(!wire::parseKeyList(QStringLiteral("00010"), rules, &error));
        rules.maxKeys = 2;
        QVERIFY(wire::parseKeyList(QStringLiteral("_1_2_1_"), rules, &error));
        QVERIFY(!wire::parseKeyList(QStringLiteral("_1_2_3_"), rules, &error));
        QVERIFY(error.contains(QStringLiteral("mais de 2 chaves")));
        // An argument the caller may leave unset selects everything when empty; "_" stays nothing.
        rules.empty = wire::EmptyMeans::All;
        QVERIFY(wire::parseKeyList(QString(), rules, &error)->all);
        QVERIFY(!wire::parseKeyList(QStringLiteral("_"), rules, &error)->all);
    }

    // Whole months come from the monthly sums, the days around them from the day rows.
    void periodsSplitIntoWholeMonthsAndDays_data()
    {
        QTest::addColumn<QDate>("start");
        QTest::addColumn<QDate>("end");
        QTest::addColumn<QString>("parts");
        QTest::newRow("one whole month") << QDate(2025, 3, 1) << QDate(2025, 3, 31) << "03-03";
        QTest::newRow("a year") << QDate(2025, 1, 1) << QDate(2025, 12, 31) << "01-12";
        QTest::newRow("days inside one month") << QDate(2025, 3, 5) << QDate(2025, 3, 20) << "05/03-20/03";
        QTest::newRow("one day") << QDate(2025, 4, 2) << QDate(2025, 4, 2) << "02/04-02/04";
        QTest::newRow("days around whole months") << QDate(2025, 3, 5) << QDate(2025, 6, 10) << "04-05 05/03-31/03 01/06-10/06";
        QTest::newRow("across two partial months") << QDate(2025, 1, 20) << QDate(2025, 2, 10) << "20/01-10/02";
        QTest::newRow("February up to its last day") << QDate(2024, 2, 2) << QDate(2024, 2, 29) << "02/02-29/02";
        QTest::newRow("across the year") << QDate(2024, 12, 1) << QDate(2025, 1, 15) << "12-12 01/01-15/01";
    }
    void periodsSplitIntoWholeMonthsAndDays()
    {
        QFETCH(QDate, start);
        QFETCH(QDate, end);
        QFETCH(QString, parts);
        const wire::PeriodParts split = wire::splitByMonth(start, end);
        QStringList got;
        if (split.firstMonth.isValid())
            got << split.firstMonth.toString("MM") + "-" + split.lastMonth.toString("MM");
        for (const auto &[from, to] : split.days)
            got << from.toString("dd/MM") + "-" + to.toString("dd/MM");
        QCOMPARE(got.join(' '), parts);
    }

    void codesAreTrimmedAndChecked()
    {
        QString error;
        QCOMPARE(wire::parseCode(QStringLiteral(" 0001 "), QStringLiteral("Central"), 4, &error), std::optional<QString>(QStringLiteral("0001")));
        QCOMPARE(wire::parseCode(QStringLiteral("   "), QStringLiteral("Central"), 4, &error), std::optional<QString>(QString()));
        QVERIFY(!wire::parseCode(QStringLiteral("0'01"), QStringLiteral("Central"), 4, &error));
        QVERIFY(!wire::parseCode(QStringLiteral("00001"), QStringLiteral("Central"), 4, &error));
    }

    // The server's writers take turns on a SQLite file: one waits for another's commit instead of
    // failing, one that may not wait fails at once as busy, and a transaction rolled back or one
    // whose BEGIN failed hands the turn on at once.
    void sqliteWritersTakeTurns()
    {
        QTemporaryDir dir;
        server::DbSettings settings;
        settings.url = *wire::DatabaseUrl::parse(QStringLiteral("sqlite:") + dir.filePath("turns.db"));
        settings.busyTimeoutMs = 20000;
        {
            QSqlDatabase first = server::openConnection(settings, QStringLiteral("first"));
            server::execScript(first, {QStringLiteral("CREATE TABLE T (N INTEGER)")}, QStringLiteral("criar"));
            std::optional<server::WriteTransaction> holding(std::in_place, first);
            server::exec(first, server::Sql(QStringLiteral("INSERT INTO T VALUES (1)")), QStringLiteral("gravar"));

            QString secondOutcome;
            std::thread second([&] {
                {
                    QSqlDatabase db = server::openConnection(settings, QStringLiteral("second"));
                    try {
                        {
                            const server::NoLockWait noWait;
                            try {
                                server::WriteTransaction refused(db);
                                secondOutcome = QStringLiteral("entrou sem esperar");
                                return;
                            } catch (const server::DbError &error) {
                                if (error.kind != server::DbFailure::Busy)
                                    secondOutcome = error.message;
                            }
                        }
                        server::WriteTransaction waiting(db);
                        server::exec(db, server::Sql(QStringLiteral("INSERT INTO T VALUES (2)")), QStringLiteral("gravar"));
                        waiting.commit();
                    } catch (const server::DbError &error) {
                        secondOutcome = error.message;
                    }
                }
                QSqlDatabase::removeDatabase(QStringLiteral("second"));
            });
            QThread::msleep(300);
            QElapsedTimer handedOn;
            handedOn.start();
            holding->commit();
            second.join();
            QVERIFY2(secondOutcome.isEmpty(), qPrintable(secondOutcome));
            QVERIFY2(handedOn.elapsed() < settings.busyTimeoutMs / 2, qPrintable(QString::number(handedOn.elapsed())));

            { server::WriteTransaction rolledBack(first); }
            // A BEGIN that fails (another program holds SQLite's lock) hands the turn on too.
            QSqlDatabase other = server::openConnection(settings, QStringLiteral("other"));
            server::execScript(other, {QStringLiteral("BEGIN IMMEDIATE")}, QStringLiteral("reservar"));
            {
                const server::NoLockWait noWait;
                QVERIFY_THROWS_EXCEPTION(server::DbError, server::WriteTransaction failing(first));
            }
            server::execScript(other, {QStringLiteral("ROLLBACK")}, QStringLiteral("liberar"));
            other.close();
            handedOn.restart();
            server::WriteTransaction next(first);
            next.commit();
            QVERIFY2(handedOn.elapsed() < settings.busyTimeoutMs / 2, qPrintable(QString::number(handedOn.elapsed())));
            QSqlQuery order(first);
            QVERIFY(order.exec(QStringLiteral("SELECT GROUP_CONCAT(N) FROM (SELECT N FROM T ORDER BY ROWID)")) && order.next());
            QCOMPARE(order.value(0).toString(), QStringLiteral("1,2"));
        }
        QSqlDatabase::removeDatabase(QStringLiteral("first"));
        QSqlDatabase::removeDatabase(QStringLiteral("other"));
    }

    // What the caller is told depends on it: Qt's SQLite driver marks every failed step as a
    // connection error, which once closed the connection and told a full disk "try again".
    void databaseFailuresAreToldApart_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("expected");
        const int connection = QSqlError::ConnectionError, statement = QSqlError::StatementError;
        QTest::newRow("sqlite busy") << "5" << connection << int(server::DbFailure::Busy);
        QTest::newRow("sqlite full") << "13" << connection << int(server::DbFailure::Full);
        QTest::newRow("sqlite read-only") << "8" << connection << int(server::DbFailure::ReadOnly);
        QTest::newRow("sqlite not null (extended code)") << "1299" << connection << int(server::DbFailure::Constraint);
        QTest::newRow("sqlite i/o error") << "10" << connection << int(server::DbFailure::Connection);
        QTest::newRow("sqlite plain error") << "1" << connection << int(server::DbFailure::Other);
        QTest::newRow("closed connection") << "" << connection << int(server::DbFailure::Connection);
        QTest::newRow("postgres unique") << "23505" << statement << int(server::DbFailure::Constraint);
        QTest::newRow("postgres disk full") << "53100" << statement << int(server::DbFailure::Full);
        QTest::newRow("postgres too many connections") << "53300" << connection << int(server::DbFailure::Busy);
        // Regression: a standby met in a failover was told as an error for the administrator.
        QTest::newRow("postgres standby") << "25006" << statement << int(server::DbFailure::Connection);
        QTest::newRow("postgres shutdown") << "57P01" << connection << int(server::DbFailure::Connection);
        QTest::newRow("postgres cancel") << "57014" << statement << int(server::DbFailure::Interrupted);
        QTest::newRow("postgres serialization") << "40001" << statement << int(server::DbFailure::Busy);
    }
    void databaseFailuresAreToldApart()
    {
        QFETCH(QString, code);
        QFETCH(int, type);
        QFETCH(int, expected);
        const server::Dialect dialect = QByteArray(QTest::currentDataTag()).startsWith("postgres") ? server::Dialect::Postgres : server::Dialect::Sqlite;
        QCOMPARE(int(server::failureOf(QSqlError("driver", "database", QSqlError::ErrorType(type), code), dialect)), expected);
    }

    void durations_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("seconds");
        QTest::newRow("plain") << "90" << qint64(90);
        QTest::newRow("seconds") << "45s" << qint64(45);
        QTest::newRow("minutes") << "30m" << qint64(1800);
        QTest::newRow("hours") << "2h" << qint64(7200);
        QTest::newRow("days") << "1d" << qint64(86400);
        QTest::newRow("zero") << "0" << qint64(-1);
        QTest::newRow("negative") << "-5m" << qint64(-1);
        QTest::newRow("unknown unit") << "3w" << qint64(-1);
        QTest::newRow("empty") << "" << qint64(-1);
    }
    void durations()
    {
        QFETCH(QString, text);
        QFETCH(qint64, seconds);
        QCOMPARE(server::parseDuration(text).value_or(-1), seconds);
    }

    void listenAddresses_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("host");
        QTest::addColumn<int>("port");
        QTest::newRow("ipv4") << "127.0.0.1:47011" << "127.0.0.1" << 47011;
        QTest::newRow("ipv6") << "[::1]:8080" << "::1" << 8080;
        QTest::newRow("localhost") << "localhost:0" << "127.0.0.1" << 0;
        QTest::newRow("no port") << "127.0.0.1" << "" << -1;
        QTest::newRow("port too big") << "127.0.0.1:70000" << "" << -1;
        QTest::newRow("host name") << "example.org:80" << "" << -1;
    }
    void listenAddresses()
    {
        QFETCH(QString, text);
        QFETCH(QString, host);
        QFETCH(int, port);
        const auto parsed = server::parseListenAddress(text);
        QCOMPARE(bool(parsed), port >= 0);
        if (parsed) {
            QCOMPARE(parsed->first.toString(), host);
            QCOMPARE(int(parsed->second), port);
        }
    }

    // Regression: the processing date was the history's last day (31/12, no school), so the
    // screen's first report over it came out empty.
    void demoProcessingDateHasMeals_data()
    {
        QTest::addColumn<QDate>("firstDay");
        QTest::addColumn<int>("days");
        QTest::addColumn<QDate>("expected");
        QTest::addColumn<bool>("meals"); // served under an active menu type that day
        QTest::newRow("ends in the year-end break") << QDate(2025, 12, 1) << 31 << QDate(2025, 12, 19) << true;
        QTest::newRow("ends on a Sunday") << QDate(2025, 3, 3) << 13 << QDate(2025, 3, 14) << true;
        QTest::newRow("ends on a school day") << QDate(2025, 3, 3) << 3 << QDate(2025, 3, 5) << true;
        QTest::newRow("only recess: the last day") << QDate(2025, 1, 1) << 10 << QDate(2025, 1, 10) << false;
    }
    void demoProcessingDateHasMeals()
    {
        QFETCH(QDate, firstDay);
        QFETCH(int, days);
        QFETCH(QDate, expected);
        QFETCH(bool, meals);
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("demo"));
            db.setDatabaseName(QStringLiteral(":memory:"));
            QVERIFY(db.open());
            server::ensureSchema(db);
            server::createDemo(db, server::DemoOptions{2, days, firstDay});
            QSqlQuery query(db);
            // Schools and centrals alike; the lone branch too.
            QVERIFY(query.exec(QStringLiteral("SELECT DISTINCT DTPROCESSA FROM FILIAL")));
            QVERIFY(query.next());
            QCOMPARE(QDate::fromString(query.value(0).toString().left(10), Qt::ISODate), expected);
            QVERIFY(!query.next());
            QVERIFY(query.exec(QStringLiteral("SELECT COUNT(*) FROM REFESERV V JOIN TIPOCARD T ON T.CDTIPOCARD = V.CDTIPOCARD"
                                              " WHERE T.IDTPCARDATIV = 'S' AND V.QTREFESERV > 0 AND V.DTREFEICAO = '%1'")
                                   .arg(expected.toString(Qt::ISODate))));
            QVERIFY(query.next());
            QCOMPARE(query.value(0).toInt() > 0, meals);
        }
        QSqlDatabase::removeDatabase(QStringLiteral("demo"));
    }

    // A handler reached with no caller set is refused, not run with the machine's rights.
    void aCallWithoutItsCallerIsRefused()
    {
        server::RpcDispatcher dispatcher;
        const server::SessionStore sessions(server::DbSettings{}, server::SessionLimits{});
        dispatcher.addObject(QString::fromLatin1(server::kSessionObject), sessions.methods());
        const QByteArray signOut = R"({"jsonrpc":"2.0","id":1,"method":"sair","params":[]})";
        const wire::RpcResponse refused = dispatcher.dispatch(server::kSessionObject, signOut);
        QVERIFY(refused.error);
        QCOMPARE(refused.error->code, int(wire::Unauthorized));
        const server::Caller machine{server::Caller::Kind::Machine, {}, {}};
        const server::Caller::Scope asMachine(machine);
        QVERIFY(!dispatcher.dispatch(server::kSessionObject, signOut).error);
    }
};

QTEST_GUILESS_MAIN(TstServerRules)
#include "tst_serverrules.moc"
