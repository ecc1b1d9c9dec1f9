#include "reportseed.h"

#include "server/datagaps.h"
#include "server/reportdata.h"
#include "server/schema.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QTest>

namespace reportseed {

void seed(QSqlDatabase &db)
{
    server::ensureSchema(db);
    const QStringList statements = {
        "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDFILCENTZUB, CDFILCENTZUB) VALUES ('0001', 'Central Sul', 'S', NULL)",
        "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDFILCENTZUB, CDFILCENTZUB) VALUES ('0101', 'EM Aurora', 'N', '0001')",
        "INSERT INTO FILIAL (CDFILIAL, NMFILIAL, IDFILCENTZUB, CDFILCENTZUB) VALUES ('0102', 'EM Boa Vista', 'N', '0001')",
        "INSERT INTO GRUPSERV VALUES ('001', 'Principais')",
        "INSERT INTO GRUPSERV VALUES ('002', 'Lanches')",
        "INSERT INTO SERVFILI VALUES ('0101', '00010', 'Almoço', '001')",
        "INSERT INTO SERVFILI VALUES ('0102', '00010', 'Almoço', '001')",
        "INSERT INTO SERVFILI VALUES ('0102', '00020', 'Lanche', '002')",
        "INSERT INTO TIPOCARD VALUES ('T1', 'Regular', '0001', 'S')",
        "INSERT INTO TIPOCARD VALUES ('T2', 'Especial', '0001', 'S')",
        "INSERT INTO TIPOCARD VALUES ('T3', 'Férias', '0001', 'N')",
        "INSERT INTO PRODUTO VALUES ('01', 'Cereais', 1, NULL, 'S')",
        "INSERT INTO PRODUTO VALUES ('0101', 'Arroz', 2, 'KG', 'S')",
        "INSERT INTO PRODUTO VALUES ('0102', 'Feijão', 2, 'KG', 'S')",
        "INSERT INTO PRODUTO VALUES ('02', 'Hortifrúti', 1, NULL, 'N')",
        "INSERT INTO PRODUTO VALUES ('0201', 'Alface', 2, 'UN', 'N')",
        // A family of two units, used in April only.
        "INSERT INTO PRODUTO VALUES ('03', 'Laticínios', 1, NULL, 'N')",
        "INSERT INTO PRODUTO VALUES ('0301', 'Leite', 2, 'LT', 'N')",
        "INSERT INTO PRODUTO VALUES ('0302', 'Queijo', 2, 'KG', 'N')",
        "INSERT INTO TIPOCUSTO VALUES (1, 'Custo médio', 1)",
        "INSERT INTO TIPOCUSTO VALUES (2, 'Último preço', 2)",
        "INSERT INTO CUSTOPROD VALUES ('0101', 1, 5.0)",
        "INSERT INTO CUSTOPROD VALUES ('0102', 1, 8.0)",
        "INSERT INTO CUSTOPROD VALUES ('0201', 1, 1.5)",
        "INSERT INTO CUSTOPROD VALUES ('0301', 1, 4.0)",
        "INSERT INTO CUSTOPROD VALUES ('0302', 1, 30.0)",
        "INSERT INTO CUSTOPROD VALUES ('0101', 2, 99.0)",
        "INSERT INTO CARDAPIO VALUES ('C1', 'Almoço regular', '0001', 'T1')",
        "INSERT INTO CARDAPIO VALUES ('C2', 'Especial', '0001', 'T2')",
        "INSERT INTO ITCARDAPIO VALUES ('C1', '0101', 0.1)",
        "INSERT INTO ITCARDAPIO VALUES ('C1', '0102', 0.05)",
        "INSERT INTO ITCARDAPIO VALUES ('C1', '0201', 0.2)",
        "INSERT INTO ITCARDAPIO VALUES ('C2', '0201', 1.0)",
        // Planned meals; April and menu type T2 lie outside the run.
        "INSERT INTO REFEPLAN VALUES ('0101', '00010', '2025-03-03', 'T1', 'C1', 100)",
        "INSERT INTO REFEPLAN VALUES ('0102', '00010', '2025-03-03', 'T1', 'C1', 2000)",
        "INSERT INTO REFEPLAN VALUES ('0102', '00020', '2025-03-31', 'T1', 'C1', 50)",
        "INSERT INTO REFEPLAN VALUES ('0101', '00010', '2025-04-01', 'T1', 'C1', 700)",
        "INSERT INTO REFEPLAN VALUES ('0101', '00010', '2025-03-03', 'T2', 'C2', 30)",
        "INSERT INTO REFESERV VALUES ('0101', '00010', '2025-03-03', 'T1', 80)",
        "INSERT INTO REFESERV VALUES ('0102', '00010', '2025-03-03', 'T1', 2100)",
        "INSERT INTO REFESERV VALUES ('0102', '00020', '2025-03-31', 'T1', 40)",
        "INSERT INTO REFESERV VALUES ('0101', '00010', '2025-04-01', 'T1', 650)",
        "INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-03', 'T1', '0101', 9)",
        "INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-03-03', 'T1', '0201', 18)",
        "INSERT INTO CONSREAL VALUES ('0102', '00010', '2025-03-03', 'T1', '0101', 215)",
        "INSERT INTO CONSREAL VALUES ('0102', '00010', '2025-03-03', 'T1', '0102', 99.5)",
        "INSERT INTO CONSREAL VALUES ('0102', '00010', '2025-03-03', 'T1', '0201', 400)",
        "INSERT INTO CONSREAL VALUES ('0102', '00020', '2025-03-31', 'T1', '0102', 2)",
        "INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-04-01', 'T1', '0101', 70)",
        "INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-04-01', 'T1', '0301', 10)",
        "INSERT INTO CONSREAL VALUES ('0101', '00010', '2025-04-01', 'T1', '0302', 2)",
        // A day with planned meals and nothing served or used, outside March.
        "INSERT INTO REFEPLAN VALUES ('0102', '00010', '2025-04-02', 'T1', 'C1', 10)",
        // Meals served on a Saturday with nothing planned.
        "INSERT INTO REFESERV VALUES ('0101', '00010', '2025-04-05', 'T1', 12)",
        // 0000000009 is a plan of another run: a stray planned quantity, March's actuals.
        "INSERT INTO ITCONSPLANREAL VALUES ('0000000009', '0101', '00010', 'T1', '0101', 'S', 100, 5000, 9)",
        "INSERT INTO ITCONSPLANREAL VALUES ('0000000009', '0102', '00010', 'T1', '0101', 'S', NULL, 0, 215)",
        "INSERT INTO ITCONSPLANREAL VALUES ('0000000009', '0102', '00010', 'T1', '0102', 'S', NULL, 0, 99.5)",
        "INSERT INTO ITCONSPLANREAL VALUES ('0000000009', '0102', '00020', 'T1', '0102', 'S', NULL, 0, 2)",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000011', 'S', '010100010', '0101', '00010', NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000011', 'S', '010200010', '0102', '00010', NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000011', 'S', '010200020', '0102', '00020', NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000021', 'S', '010200010', '0102', '00010', NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000012', 'T', 'T1', NULL, NULL, 'T1', '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000022', 'T', 'T1', NULL, NULL, 'T1', '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000022', 'T', 'T2', NULL, NULL, 'T2', '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000013', 'F', '0101', '0101', NULL, NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000013', 'F', '0102', '0102', NULL, NULL, '2025-03-01')",
        "INSERT INTO LISTA (NRLISTA, IDTIPOLISTA, CDCHAVE, CDFILIAL, CDSERVFILI, CDTIPOCARD, DTCRIACAO) VALUES ('0000000014', 'F', '0101', '0101', NULL, NULL, '2025-03-01')",
    };
    QSqlQuery query(db);
    for (const QString &statement : statements) {
        if (!query.exec(statement))
            QTest::qFail(qPrintable(statement + ": " + query.lastError().text()), __FILE__, __LINE__);
    }
    prepare(db, "0000000001", {}, QDate(2025, 3, 1), QDate(2025, 3, 31));
    prepare(db, "0000000002", {"0101"}, QDate(2025, 3, 1), QDate(2025, 3, 31));
    prepare(db, "0000000003", {}, QDate(2025, 4, 2), QDate(2025, 4, 2));
}

void prepare(QSqlDatabase &db, const QString &number, const QStringList &branches, const QDate &start, const QDate &end)
{
    server::PlanScope scope;
    scope.central = "0001";
    scope.branches = wire::KeySelection{branches.isEmpty(), branches};
    scope.start = start;
    scope.end = end;
    try {
        server::WriteTransaction transaction(db);
        server::storeReportData(db, number, scope);
        server::storeDataGaps(db, number, scope);
        transaction.commit();
    } catch (const server::DbError &error) {
        QTest::qFail(qPrintable(error.message), __FILE__, __LINE__);
    }
}

host::TParams params(const QString &difference, int level)
{
    host::TParams params;
    auto text = [&params](const char *name, const QString &value) { params.declare(name).setAsString(value); };
    auto date = [&params](const char *name, QDate day) { params.declare(name).setAsDateTime(QDateTime(day, QTime(0, 0))); };
    text("P_CDFILCENTZUB", "0001");
    text("P_CDFILIAL", "_0101_0102_");
    text("P_NRLISTAFILI", "0000000013");
    text("P_NRCONSPLAN", "0000000001");
    text("P_NRLISTA", "");
    text("P_CDTIPOCARD", "T1_");
    text("P_LISTATIPOCARD", "0000000012");
    text("P_LISTASERVICO", "0000000011");
    text("P_CDSERVFILI", "T");
    date("P_DTINICIAL", QDate(2025, 3, 1));
    date("P_DTFINAL", QDate(2025, 3, 31));
    text("P_DTPERIINIC", "01/03/2025");
    text("P_DTPERIFINA", "31/03/2025");
    date("P_DTMESINIC", QDate(2025, 3, 1));
    date("P_DTMESFINA", QDate(2025, 3, 31));
    params.declare("P_NRTIPOCUSTO").setAsInteger(1);
    text("P_NMTIPOCUSTO", "Custo médio");
    text("P_IDESTOCAVEIS", "S");
    text("P_IDNESTOCAVEIS", "S");
    text("P_IDDIFERENCA", difference);
    text("P_NIVEL", level > 0 ? "S" : "N");
    params.declare("P_NRTAMACNIVEL").setAsInteger(level > 0 ? 2 * level : 0);
    text("P_CDGRUPFILI", "Nenhum");
    text("P_NMGRUPFILI", "");
    return params;
}

} // namespace reportseed
