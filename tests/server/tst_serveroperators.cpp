// Operators on the real zub-server over loopback, on SQLite and on PostgreSQL: sign-in, lockout,
// expiry, the rights of each role and who may delete what.
#include "serverharness.h"
#include "testdatabase.h"


#include <QSqlError>
#include <QSqlQuery>
#include <QJsonDocument>
#include <QtTest>

using harness::kPlanObject;

namespace {

const QByteArray kToken = "token-de-teste-0123456789abcdef";
const QString kSession = QStringLiteral("Sessao");

// The demo's operators and their passwords, as the README gives them.
const QString kSchool = QStringLiteral("ESC0101");
const QString kSchoolPassword = QStringLiteral("escola0101");
const QString kCentral = QStringLiteral("CEN0001");
const QString kCentralPassword = QStringLiteral("central0001");

QJsonValue answerOf(const QJsonObject &response)
{
    return response.value("result").toObject().value("answer");
}

QString refusalOf(const QJsonObject &response)
{
    const QJsonValue answer = answerOf(response);
    if (answer.isString())
        return answer.toString();
    if (response.contains("error"))
        return response.value("error").toObject().value("message").toString();
    return answer.toObject().value("message").toString();
}

QJsonArray planArguments(const QString &central, const QString &branches, const QString &operatorCode)
{
    return {central, "", branches, "", "2025-01-02", "2025-01-31", "0", "zzzzzzzzzz", operatorCode};
}

} // namespace

class TstServerOperators : public QObject
{
    Q_OBJECT
public:
    explicit TstServerOperators(bool postgres) : m_demo(postgres, QStringLiteral("operators")) {}

private:
    harness::DemoServer m_demo;
    harness::ServerProcess &m_server = m_demo.server;

    QSqlDatabase db() const { return m_demo.db(); }

    QJsonObject signIn(const QString &code, const QString &password)
    {
        return m_server.callWith({}, kSession, "entrar", {code, password});
    }
    // A live session's token, or empty (the test then fails on what it reads).
    QByteArray sessionOf(const QString &code, const QString &password)
    {
        return answerOf(signIn(code, password)).toObject().value("data").toObject().value("token").toString().toLatin1();
    }
    int count(const QString &sql, const QString &value)
    {
        QSqlQuery query(db());
        query.prepare(sql);
        query.addBindValue(value);
        return query.exec() && query.next() ? query.value(0).toInt() : -1;
    }

private Q_SLOTS:
    void initTestCase()
    {
        ZUB_START_DEMO_SERVER(m_demo, kToken, QStringList({"--days", "31"}));
    }

    void cleanupTestCase()
    {
        QCOMPARE(m_demo.stop(), 0);
    }

    void signInAnswersTheSessionAndItsOperator()
    {
        const QJsonObject data = answerOf(signIn(kSchool.toLower(), kSchoolPassword)).toObject().value("data").toObject();
        QCOMPARE(data.value("operador").toString(), kSchool);
        QCOMPARE(data.value("filial").toString(), QStringLiteral("0101"));
        QCOMPARE(data.value("central").toString(), QStringLiteral("0001"));
        const QByteArray token = data.value("token").toString().toLatin1();
        QVERIFY2(QRegularExpression("^[0-9a-f]{64}$").match(QString::fromLatin1(token)).hasMatch(), token.constData());
        // The database keeps a digest of the token, never the token.
        QCOMPARE(count("SELECT COUNT(*) FROM SESSAO WHERE CDSESSAO = ?", QString::fromLatin1(token)), 0);
        QCOMPARE(answerOf(m_server.callWith(token, kPlanObject, "rpc.ping", {})).toObject().value("ok").toBool(), true);
        QCOMPARE(answerOf(m_server.callWith(token, kSession, "sair", {})).toObject().value("ok").toBool(), true);
        QCOMPARE(m_server.callWith(token, kPlanObject, "rpc.ping", {}).value("error").toObject().value("code").toInt(), -32001);
    }

    void wrongCredentialsAreRefusedAlike_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("password");
        QTest::newRow("wrong password") << kCentral << "nao-e-esta";
        QTest::newRow("unknown operator") << "NINGUEM" << kCentralPassword;
        QTest::newRow("empty") << "" << "";
    }
    void wrongCredentialsAreRefusedAlike()
    {
        QFETCH(QString, code);
        QFETCH(QString, password);
        QCOMPARE(refusalOf(signIn(code, password)), QStringLiteral("Operador ou senha incorretos."));
    }

    // A lock or a disabled operator is told only to whoever has the right password.
    void lockAndDisablingAreToldOnlyToTheRightPassword()
    {
        const QString code = m_demo.postgres ? QStringLiteral("TRAVA_PG") : QStringLiteral("TRAVA_SQ");
        QString output;
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--add-operator", code, "--name", "Teste", "--branch", "0102", "--role", "escola"},
                                  &output, "primeira-senha\n"),
                 0);
        QSqlQuery lock(db());
        lock.prepare("UPDATE OPERADOR SET DTBLOQUEIO = ? WHERE CDOPERADOR = ?");
        lock.addBindValue(QDateTime::currentDateTimeUtc().addSecs(600));
        lock.addBindValue(code);
        QVERIFY2(lock.exec(), qPrintable(lock.lastError().text()));
        QCOMPARE(refusalOf(signIn(code, "errada")), QStringLiteral("Operador ou senha incorretos."));
        const QString locked = refusalOf(signIn(code, "primeira-senha"));
        QVERIFY2(locked.contains("bloqueado"), qPrintable(locked));
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--set-password", code}, &output, "segunda-senha\n"), 0);
        QVERIFY(!sessionOf(code, "segunda-senha").isEmpty());
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--disable-operator", code}, &output), 0);
        QCOMPARE(refusalOf(signIn(code, "errada")), QStringLiteral("Operador ou senha incorretos."));
        const QString disabled = refusalOf(signIn(code, "segunda-senha"));
        QVERIFY2(disabled.contains("desativado"), qPrintable(disabled));
        // The password never travels on the command line, so a short one from stdin is refused.
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--set-password", code}, &output, "curta\n"), 1);
        QVERIFY2(output.contains("pelo menos 8"), qPrintable(output));
    }

    // Whoever held the old password loses its sessions with it.
    void passwordChangeAndDisablingEndTheSessions_data()
    {
        QTest::addColumn<QStringList>("command");
        QTest::addColumn<QString>("input");
        QTest::newRow("new password") << QStringList{"--set-password"} << "outra-senha-1\n";
        QTest::newRow("disabled") << QStringList{"--disable-operator"} << "";
    }
    void passwordChangeAndDisablingEndTheSessions()
    {
        QFETCH(QStringList, command);
        QFETCH(QString, input);
        const QString code = QStringLiteral("FIM_%1").arg(QTest::currentDataTag()[0] == 'n' ? "N" : "D");
        QString output;
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--add-operator", code, "--name", "Teste", "--branch", "0102", "--role", "escola"},
                                  &output, "primeira-senha\n"),
                 0);
        const QByteArray token = sessionOf(code, "primeira-senha");
        QVERIFY(!token.isEmpty());
        QCOMPARE(harness::runTool(QStringList{"--database", m_demo.url} + command + QStringList{code}, &output, input.toUtf8()), 0);
        QCOMPARE(m_server.callWith(token, kPlanObject, "rpc.ping", {}).value("error").toObject().value("code").toInt(), -32001);
        QCOMPARE(count("SELECT COUNT(*) FROM SESSAO WHERE CDOPERADOR = ?", code), 0);
    }

    // Wrong sign-ins make their address wait, never lock the operator out: behind the trusted
    // proxy each client is its own forwarded address, an IPv6 one counted by its /64.
    void wrongSignInsMakeTheirAddressWait()
    {
        harness::ServerProcess proxied;
        QString why;
        QVERIFY2(proxied.start(m_demo.url, kToken, {"--trusted-proxy", "127.0.0.1", "--sign-in-failures", "6"}, &why), qPrintable(why));
        int invented = 0;
        const auto signInFrom = [&](const QByteArray &client, const QString &code, const QString &password) {
            // What the client itself puts in the header counts for nothing: an address made up
            // anew each time, on a line of its own before the one the proxy adds (HAProxy's
            // option forwardfor), and before the proxy's entry on that line. Regression: the
            // client's own line was read, and made-up addresses were never throttled.
            const QByteArray madeUp = "10.9.9." + QByteArray::number(++invented % 250);
            const QByteArray forwarded = "X-Forwarded-For: " + madeUp + "\r\nX-Forwarded-For: " + madeUp + ", " + client + "\r\n";
            return harness::exchange(proxied.port(), harness::post("/rpc/" + kSession, harness::rpcBody("entrar", {code, password}), {}, forwarded))
                .json();
        };
        const auto waits = [](const QJsonObject &response) { return refusalOf(response).contains("aguarde"); };
        const auto tokenOf = [](const QJsonObject &response) { return answerOf(response).toObject().value("data").toObject().value("token").toString(); };

        for (int attempt = 0; attempt < 4; ++attempt)
            QCOMPARE(refusalOf(signInFrom("10.0.0.1", kCentral, "errada")), QStringLiteral("Operador ou senha incorretos."));
        QVERIFY(waits(signInFrom("10.0.0.1", kCentral, kCentralPassword)));
        QVERIFY(!tokenOf(signInFrom("10.0.0.2", kCentral, kCentralPassword)).isEmpty());

        for (int attempt = 0; attempt < 4; ++attempt)
            signInFrom("2001:db8:1:2::1", kSchool, "errada");
        QVERIFY(waits(signInFrom("2001:db8:1:2::99", kSchool, kSchoolPassword)));
        QVERIFY(!tokenOf(signInFrom("2001:db8:1:3::1", kSchool, kSchoolPassword)).isEmpty());

        // Made-up codes across operators: past --sign-in-failures the whole address waits.
        for (int code = 0; code < 7; ++code)
            signInFrom("10.0.0.3", QStringLiteral("SEM_%1").arg(code), "chute");
        QVERIFY(waits(signInFrom("10.0.0.3", kCentral, kCentralPassword)));
        QTRY_VERIFY(proxied.output().contains("6 entradas erradas do endereço 10.0.0.3"));
        QCOMPARE(proxied.stop(), 0);
    }

    // Loops of valid sign-ins neither pile sessions up nor keep the hashing to themselves.
    void signInLoopsAreCapped()
    {
        harness::ServerProcess capped;
        QString why;
        QVERIFY2(capped.start(m_demo.url, kToken, {"--sessions-per-operator", "2", "--sign-ins-per-minute", "3"}, &why), qPrintable(why));
        QList<QByteArray> tokens;
        for (int attempt = 0; attempt < 3; ++attempt)
            tokens << capped.signIn(kSchool, kSchoolPassword);
        QVERIFY(!tokens.contains(QByteArray()));
        QCOMPARE(capped.callWith(tokens[0], kPlanObject, "rpc.ping", {}).value("error").toObject().value("code").toInt(), -32001);
        for (const QByteArray &live : {tokens[1], tokens[2]})
            QVERIFY(!capped.callWith(live, kPlanObject, "rpc.ping", {}).contains("error"));
        const QString held = refusalOf(capped.callWith({}, kSession, "entrar", {kSchool, kSchoolPassword}));
        QVERIFY2(held.contains("aguarde"), qPrintable(held));
        QVERIFY(!capped.signIn(kCentral, kCentralPassword).isEmpty());
        QCOMPARE(capped.stop(), 0);
    }

    // Sign-ins, wrong ones and sign-outs are audited with their address, never with the password;
    // the log names operator and address; the audit is kept for the days the administrator set.
    void signInsAreAuditedWithTheirAddress()
    {
        const QByteArray token = sessionOf(kCentral, kCentralPassword);
        QCOMPARE(refusalOf(signIn("NINGUEM_AUD", "senha-errada-aud")), QStringLiteral("Operador ou senha incorretos."));
        m_server.callWith(token, kSession, "sair", {});
        QSqlQuery audit(db());
        QVERIFY(audit.exec("SELECT CDOPERADOR, NMMETODO, DSENDERECO, DSRESULTADO FROM AUDITORIA WHERE NMMETODO IN ('entrar', 'sair')"));
        QStringList rows;
        while (audit.next())
            rows << QStringList{audit.value(0).toString(), audit.value(1).toString(), audit.value(2).toString(), audit.value(3).toString()}.join('|');
        audit.finish();
        QVERIFY2(rows.contains("NINGUEM_AUD|entrar|127.0.0.1|Operador ou senha incorretos."), qPrintable(rows.join('\n')));
        QVERIFY2(rows.contains("CEN0001|sair|127.0.0.1|ok"), qPrintable(rows.join('\n')));
        QCOMPARE(count("SELECT COUNT(*) FROM AUDITORIA WHERE DSFILTROS LIKE ?", "%senha-errada-aud%"), 0);
        QTRY_VERIFY2(m_server.output().contains(QRegularExpression("Sessao.sair \\d+ ms ok; CEN0001 de 127.0.0.1")), qPrintable(m_server.output().right(2000)));

        QSqlQuery old(db());
        old.prepare("UPDATE AUDITORIA SET DTINICIO = ? WHERE CDOPERADOR = 'NINGUEM_AUD'");
        old.addBindValue(QDateTime::currentDateTimeUtc().addDays(-3));
        QVERIFY2(old.exec(), qPrintable(old.lastError().text()));
        harness::ServerProcess retaining;
        QString why;
        QVERIFY2(retaining.start(m_demo.url, kToken, {"--audit-days", "2"}, &why), qPrintable(why));
        QTRY_COMPARE(count("SELECT COUNT(*) FROM AUDITORIA WHERE CDOPERADOR = ?", "NINGUEM_AUD"), 0);
        QVERIFY(count("SELECT COUNT(*) FROM AUDITORIA WHERE CDOPERADOR = ?", kCentral) > 0);
        QCOMPARE(retaining.stop(), 0);
    }

    void expiredSessionsAreRefused_data()
    {
        QTest::addColumn<QString>("column");
        QTest::addColumn<int>("hoursAgo");
        QTest::newRow("idle") << "DTULTIMOUSO" << 1;
        QTest::newRow("absolute") << "DTCRIACAO" << 11;
    }
    void expiredSessionsAreRefused()
    {
        QFETCH(QString, column);
        QFETCH(int, hoursAgo);
        const QByteArray token = sessionOf(kCentral, kCentralPassword);
        QVERIFY(!token.isEmpty());
        QSqlQuery age(db());
        age.prepare(QStringLiteral("UPDATE SESSAO SET %1 = ? WHERE CDOPERADOR = ?").arg(column));
        age.addBindValue(QDateTime::currentDateTimeUtc().addSecs(-3600 * hoursAgo));
        age.addBindValue(kCentral);
        QVERIFY2(age.exec(), qPrintable(age.lastError().text()));
        const QJsonObject response = m_server.callWith(token, kPlanObject, "GetAgrupFili", {"T"});
        QCOMPARE(response.value("error").toObject().value("code").toInt(), -32001);
        QVERIFY(refusalOf(response).contains("expirada"));
    }

    void rightsOfEachRole_data()
    {
        QTest::addColumn<QString>("code");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("method");
        QTest::addColumn<QJsonArray>("params");
        QTest::addColumn<QString>("refusal"); // empty: allowed
        QTest::newRow("school: own branch") << kSchool << kSchoolPassword << "GetFiliAgreg" << QJsonArray{"F", "", "0001", "0101"} << "";
        QTest::newRow("school: another school") << kSchool << kSchoolPassword << "GetFiliAgreg" << QJsonArray{"F", "", "0001", "0102"}
                                                << "só tem acesso aos dados da filial 0101";
        QTest::newRow("school: every branch") << kSchool << kSchoolPassword << "GetServico" << QJsonArray{"T", "T", "", "0001"}
                                              << "só tem acesso aos dados da filial 0101";
        QTest::newRow("school: lists of another") << kSchool << kSchoolPassword << "getListas" << QJsonArray{"T", "T", "0001", "_0101_0102_"}
                                                  << "só tem acesso aos dados da filial 0101";
        QTest::newRow("school: services of another") << kSchool << kSchoolPassword << "getListas" << QJsonArray{"_010200010_", "T", "0001", "_0101_"}
                                                     << "só tem acesso aos dados da filial 0101";
        QTest::newRow("school: grouping without it") << kSchool << kSchoolPassword << "GetAgrupFili" << QJsonArray{"0000000002"} << "";
        QTest::newRow("school: another central") << kSchool << kSchoolPassword << "ExecStpConsPlan" << planArguments("0002", "_9001_", "")
                                                 << "não tem acesso à central 0002";
        QTest::newRow("school: another operator") << kSchool << kSchoolPassword << "ExecStpConsPlan" << planArguments("0001", "_0101_", "OP01")
                                                  << "não é o da sessão";
        QTest::newRow("central: its branches") << kCentral << kCentralPassword << "GetServico" << QJsonArray{"T", "T", "", "0001"} << "";
        QTest::newRow("central: another central") << kCentral << kCentralPassword << "GetFiliAgreg" << QJsonArray{"F", "", "0002", ""}
                                                  << "não tem acesso à central 0002";
        QTest::newRow("central: grouping of another") << kCentral << kCentralPassword << "GetServico" << QJsonArray{"T", "T", "0000000004", "0001"}
                                                      << "não tem acesso ao agrupamento 0000000004";
        QTest::newRow("administrator: another central") << "ADMIN" << "admin-zub01" << "GetFiliAgreg" << QJsonArray{"F", "", "0002", ""} << "";
    }
    void rightsOfEachRole()
    {
        QFETCH(QString, code);
        QFETCH(QString, password);
        QFETCH(QString, method);
        QFETCH(QJsonArray, params);
        QFETCH(QString, refusal);
        const QByteArray token = sessionOf(code, password);
        QVERIFY(!token.isEmpty());
        const QJsonObject response = m_server.callWith(token, kPlanObject, method, params);
        const QJsonValue answer = answerOf(response);
        if (refusal.isEmpty()) {
            QVERIFY2(answer.toObject().value("ok").toBool() || answer.toString().size() == 10, QJsonDocument(response).toJson().constData());
            // A grouping the school is not in is not listed: the answer is empty, not the grouping.
            if (method == QLatin1String("GetAgrupFili"))
                QCOMPARE(answer.toObject().value("data").toObject().value("rows").toArray().size(), 0);
        } else {
            QVERIFY2(refusalOf(response).contains(refusal), qPrintable(refusalOf(response)));
            // The audit keeps the refusal, once, with who asked and from where.
            const QString row = QStringList{code, method, "127.0.0.1", refusalOf(response)}.join('|');
            QTRY_COMPARE(count("SELECT COUNT(*) FROM AUDITORIA WHERE CDOPERADOR || '|' || NMMETODO || '|' || DSENDERECO || '|' || DSRESULTADO = ?", row), 1);
            QSqlQuery seen(db());
            seen.prepare("DELETE FROM AUDITORIA WHERE DSRESULTADO = ?");
            seen.addBindValue(refusalOf(response));
            QVERIFY(seen.exec());
        }
    }

    void onlyTheSessionThatMadeAPlanDeletesIt()
    {
        const QByteArray owner = sessionOf(kSchool, kSchoolPassword);
        const QByteArray other = sessionOf(kSchool, kSchoolPassword);
        const QString plan = answerOf(m_server.callWith(owner, kPlanObject, "ExecStpConsPlan", planArguments("0001", "_0101_", kSchool))).toString();
        QCOMPARE(plan.size(), 10);
        const QJsonArray lists = answerOf(m_server.callWith(owner, kPlanObject, "getListas", {"T", "T", "0001", "_0101_"})).toObject().value("data").toArray();
        QCOMPARE(lists.size(), 3);
        // "All services" of a school are its own.
        QVERIFY(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ?", lists[0].toString()) > 0);
        QCOMPARE(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ? AND CDFILIAL <> '0101'", lists[0].toString()), 0);

        // Another session, and the shared token, delete nothing and are told nothing.
        for (const QByteArray &stranger : {other, kToken}) {
            QCOMPARE(answerOf(m_server.callWith(stranger, kPlanObject, "DelConsPlan", {"0101", plan})).toObject().value("data").toString(), QString());
            m_server.callWith(stranger, kPlanObject, "deletaListas", QJsonArray{QJsonValue(lists)});
            QCOMPARE(count("SELECT COUNT(*) FROM CONSPLAN WHERE NRCONSPLAN = ?", plan), 1);
            QVERIFY(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ?", lists[0].toString()) > 0);
        }
        // The plan keeps its operator: the session's, whatever a caller might have sent.
        QSqlQuery made(db());
        made.prepare("SELECT CDOPERADOR FROM CONSPLAN WHERE NRCONSPLAN = ?");
        made.addBindValue(plan);
        QVERIFY(made.exec() && made.next());
        QCOMPARE(made.value(0).toString(), kSchool);
        made.finish();

        m_server.callWith(owner, kPlanObject, "DelConsPlan", {"0101", plan});
        m_server.callWith(owner, kPlanObject, "deletaListas", QJsonArray{QJsonValue(lists)});
        QCOMPARE(count("SELECT COUNT(*) FROM CONSPLAN WHERE NRCONSPLAN = ?", plan), 0);
        QCOMPARE(count("SELECT COUNT(*) FROM LISTA WHERE NRLISTA = ?", lists[0].toString()), 0);

        // Each run left its line in the audit.
        QString output;
        QCOMPARE(harness::runTool({"--database", m_demo.url, "--audit", "--since", QDate::currentDate().addDays(-1).toString("dd/MM/yyyy")}, &output), 0);
        const QStringList lines = output.split(QLatin1Char('\n')).filter(plan).filter("ExecStpConsPlan");
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].contains(kSchool) && lines[0].contains("ExecStpConsPlan") && lines[0].contains("ok"), qPrintable(lines[0]));
    }

    // A school's operator asks the server for report rows and lookups with what is not its own:
    // each is refused with its reason, no row comes back, and the refusal is audited.
    void reportRowsHoldToTheCallersRights()
    {
        const QByteArray school = sessionOf(kSchool, kSchoolPassword);
        const QByteArray other = sessionOf(kSchool, kSchoolPassword);
        const QString otherPlan = answerOf(m_server.callWith(other, kPlanObject, "ExecStpConsPlan", planArguments("0001", "_0101_", ""))).toString();
        const QString ownPlan = answerOf(m_server.callWith(school, kPlanObject, "ExecStpConsPlan", planArguments("0001", "_0101_", ""))).toString();
        const QJsonArray ownLists = answerOf(m_server.callWith(school, kPlanObject, "getListas", {"T", "T", "0001", "_0101_"})).toObject().value("data").toArray();
        const QJsonArray otherLists = answerOf(m_server.callWith(other, kPlanObject, "getListas", {"T", "T", "0001", "_0101_"})).toObject().value("data").toArray();
        QVERIFY(otherPlan.size() == 10 && ownPlan.size() == 10 && ownLists.size() == 3 && otherLists.size() == 3);
        const QJsonObject own{{"P_NRCONSPLAN", ownPlan},     {"P_NRLISTAFILI", ownLists[2]}, {"P_LISTASERVICO", ownLists[0]},
                              {"P_LISTATIPOCARD", ownLists[1]}, {"P_DTINICIAL", "2025-01-02"},  {"P_DTFINAL", "2025-01-31"},
                              {"P_IDESTOCAVEIS", "S"}};
        const auto rows = [&](const QString &layout, const QString &query, const QJsonObject &parameters) {
            return m_server.callWith(school, harness::kGeneralDataObject, "DadosRelatorio", {"ZUB011", layout, query, parameters});
        };
        const QString standard = QStringLiteral("01-por-servico.json");
        QVERIFY(answerOf(rows(standard, "faltas", own)).toObject().value("ok").toBool());

        struct Case {
            QString layout, query;
            QJsonObject parameters;
            QString refusal;
        };
        QJsonObject othersPlan = own, othersList = own, sqlInADate = own, centralOfAnother{{"P_CDFILCENTZUB", "0002"}};
        othersPlan["P_NRCONSPLAN"] = otherPlan;
        othersList["P_NRLISTAFILI"] = otherLists[2];
        sqlInADate["P_DTINICIAL"] = "2025-01-02' OR '1'='1";
        QJsonObject extra = own;
        extra["P_CDFILIAL"] = "0102";
        const QList<Case> cases = {
            {standard, "faltas", othersPlan, "não existe ou não foi preparado nesta sessão"},
            {standard, "faltas", othersList, "não existe ou não foi gravada nesta sessão"},
            {standard, "filiais", {{"P_NRLISTAFILI", "9999999999"}}, "não existe ou não foi gravada nesta sessão"},
            {standard, "faltas", sqlInADate, "esperada uma data AAAA-MM-DD"},
            {standard, "faltas", extra, "Parâmetro P_CDFILIAL não é usado por esta consulta"},
            {standard, "cabecalho", {{"P_CDFILCENTZUB", "0002"}, {"P_IDESTOCAVEIS", "S"}, {"P_IDNESTOCAVEIS", "S"}, {"P_NIVEL", "N"}, {"P_NRTAMACNIVEL", 0}},
             "não tem acesso à central 0002"},
            {"03-outro.json", "dados", own, "não está instalado no servidor"},
            {"../../server.ini", "dados", own, "Nome de layout inválido"},
            {standard, "SELECT DSSENHA FROM OPERADOR", own, "não tem a consulta"},
        };
        for (const Case &c : cases) {
            const QJsonObject response = rows(c.layout, c.query, c.parameters);
            QVERIFY2(refusalOf(response).contains(c.refusal), qPrintable(c.refusal + " / " + QJsonDocument(response).toJson()));
            QVERIFY(!answerOf(response).toObject().contains("data"));
        }
        QCOMPARE(count("SELECT COUNT(*) FROM AUDITORIA WHERE NMMETODO = 'DadosRelatorio' AND CDOPERADOR = ?", kSchool), int(cases.size()));
        // Lookups answer within the same rights.
        const auto lookup = [&](const QString &name, const QJsonObject &parameters) {
            return m_server.callWith(school, harness::kGeneralDataObject, "AbreConsulta", {name, parameters});
        };
        QVERIFY(refusalOf(lookup("qryTipoCard", centralOfAnother)).contains("não tem acesso à central 0002"));
        QCOMPARE(answerOf(lookup("qryFilial", {{"P_CDFILIAL", "0102"}})).toObject().value("data").toObject().value("rows").toArray().size(), 0);
        const QJsonArray branches = answerOf(lookup("FILIAL", {})).toObject().value("data").toObject().value("rows").toArray();
        QCOMPARE(branches.size(), 2); // its own school and its central
        QVERIFY(refusalOf(lookup("SELECT * FROM OPERADOR", {})).contains("Consulta desconhecida"));
    }

    // The shared token vouches for no operator: its calls are the machine's in the audit, and
    // none of them is lost for want of an operator.
    void machineCallsAreAuditedAsTheMachine()
    {
        const QString plan = answerOf(m_server.callWith(kToken, kPlanObject, "ExecStpConsPlan", planArguments("0001", "_0101_", kSchool))).toString();
        QCOMPARE(plan.size(), 10);
        const QJsonObject lists = answerOf(m_server.callWith(kToken, kPlanObject, "getListas", {"T", "T", "0001", "_0101_"})).toObject();
        QVERIFY(lists.value("ok").toBool());
        const QString listNumbers = QString::fromUtf8(QJsonDocument(lists.value("data").toArray()).toJson(QJsonDocument::Compact));
        QSqlQuery audit(db());
        audit.prepare("SELECT CDOPERADOR FROM AUDITORIA WHERE NRCONSPLAN IN (?, ?) ORDER BY NMMETODO");
        audit.addBindValue(plan);
        audit.addBindValue(listNumbers.left(40));
        QVERIFY(audit.exec());
        QStringList who;
        while (audit.next())
            who << audit.value(0).toString();
        QCOMPARE(who, (QStringList{"(máquina)", "(máquina)"}));
        QVERIFY2(!m_server.output().contains("não gravada"), qPrintable(m_server.output()));
        m_server.callWith(kToken, kPlanObject, "DelConsPlan", {"0101", plan});
        m_server.callWith(kToken, kPlanObject, "deletaListas", QJsonArray{lists.value("data")});
    }
};

int main(int argc, char *argv[])
{
    return harness::runOnBothDatabases<TstServerOperators>(argc, argv);
}

#include "tst_serveroperators.moc"
