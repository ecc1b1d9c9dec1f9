#include "server/schema.h"

#include "server/serverlog.h"

#include "server/database.h"
#include "server/summaries.h"

#include <QSqlQuery>

namespace server {

namespace {

// One step of the schema's history. Statements use placeholders for the few types the two
// dialects spell differently; see typed().
struct Migration {
    int version;
    QStringList statements;
};

const QStringList kCounters = {QStringLiteral("CONSPLAN"), QStringLiteral("LISTA")};

// The reference tables: branches and their groups, services, menu types, products, costs and menus.
QStringList referenceTables()
{
    return {
        QStringLiteral("CREATE TABLE FILIAL ("
                       " CDFILIAL VARCHAR(4) NOT NULL PRIMARY KEY,"
                       " NMFILIAL VARCHAR(30) NOT NULL,"
                       " IDCNTRRESC CHAR(1) NOT NULL DEFAULT 'N',"
                       " IDFILCENTZUB CHAR(1) NOT NULL DEFAULT 'N',"
                       " CDFILCENTZUB VARCHAR(4) NULL,"
                       " IDMATRFILI CHAR(1) NOT NULL DEFAULT 'F',"
                       " DTPROCESSA {DATE} NULL)"),
        QStringLiteral("CREATE INDEX IX_FILIAL_CENTRAL ON FILIAL (CDFILCENTZUB, CDFILIAL)"),
        QStringLiteral("CREATE TABLE GRUPFILI ("
                       " CDGRUPFILI VARCHAR(10) NOT NULL PRIMARY KEY,"
                       " NMGRUPFILI VARCHAR(40) NOT NULL)"),
        QStringLiteral("CREATE TABLE ITGRUPFILI ("
                       " CDGRUPFILI VARCHAR(10) NOT NULL REFERENCES GRUPFILI (CDGRUPFILI),"
                       " CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " PRIMARY KEY (CDGRUPFILI, CDFILIAL))"),
        QStringLiteral("CREATE TABLE GRUPSERV ("
                       " CDGRUPSERV VARCHAR(3) NOT NULL PRIMARY KEY,"
                       " NMGRUPSERV VARCHAR(30) NOT NULL)"),
        QStringLiteral("CREATE TABLE SERVFILI ("
                       " CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " NMSERVICO VARCHAR(40) NOT NULL,"
                       " CDGRUPSERV VARCHAR(3) NOT NULL REFERENCES GRUPSERV (CDGRUPSERV),"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI))"),
        QStringLiteral("CREATE TABLE TIPOCARD ("
                       " CDTIPOCARD VARCHAR(10) NOT NULL PRIMARY KEY,"
                       " NMTIPOCARD VARCHAR(100) NOT NULL,"
                       " CDFILCENTZUB VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " IDTPCARDATIV CHAR(1) NOT NULL DEFAULT 'S')"),
        QStringLiteral("CREATE INDEX IX_TIPOCARD_CENTRAL ON TIPOCARD (CDFILCENTZUB)"),
        QStringLiteral("CREATE TABLE PRODUTO ("
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL PRIMARY KEY,"
                       " NMPRODUTO VARCHAR(60) NOT NULL,"
                       " NRNIVEL INTEGER NOT NULL,"
                       " SGUNIDADE VARCHAR(3) NULL,"
                       " IDESTOCAVEL CHAR(1) NOT NULL DEFAULT 'S')"),
        QStringLiteral("CREATE TABLE TIPOCUSTO ("
                       " NRTIPOCUSTO INTEGER NOT NULL PRIMARY KEY,"
                       " NMTIPOCUSTO VARCHAR(40) NOT NULL,"
                       " NRORDEM INTEGER NOT NULL)"),
        QStringLiteral("CREATE TABLE CUSTOPROD ("
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL REFERENCES PRODUTO (CDPRODUTO),"
                       " NRTIPOCUSTO INTEGER NOT NULL REFERENCES TIPOCUSTO (NRTIPOCUSTO),"
                       " VRUNITARIO {REAL} NOT NULL,"
                       " PRIMARY KEY (NRTIPOCUSTO, CDPRODUTO))"),
        QStringLiteral("CREATE TABLE CARDAPIO ("
                       " CDCARDAPIO VARCHAR(10) NOT NULL PRIMARY KEY,"
                       " NMCARDAPIO VARCHAR(60) NOT NULL,"
                       " CDFILCENTZUB VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " CDTIPOCARD VARCHAR(10) NOT NULL REFERENCES TIPOCARD (CDTIPOCARD))"),
        QStringLiteral("CREATE TABLE ITCARDAPIO ("
                       " CDCARDAPIO VARCHAR(10) NOT NULL REFERENCES CARDAPIO (CDCARDAPIO),"
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL REFERENCES PRODUTO (CDPRODUTO),"
                       " QTPERCAPITA {REAL} NOT NULL,"
                       " PRIMARY KEY (CDCARDAPIO, CDPRODUTO))"),
    };
}

// What each branch planned, served and consumed, day by day.
QStringList dailyRecords()
{
    return {
        QStringLiteral("CREATE TABLE REFEPLAN ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " DTREFEICAO {DATE} NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDCARDAPIO VARCHAR(10) NOT NULL,"
                       " QTREFEPLAN INTEGER NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD))"),
        QStringLiteral("CREATE INDEX IX_REFEPLAN_DATA ON REFEPLAN (DTREFEICAO)"),
        QStringLiteral("CREATE TABLE REFESERV ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " DTREFEICAO {DATE} NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " QTREFESERV INTEGER NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD))"),
        QStringLiteral("CREATE INDEX IX_REFESERV_DATA ON REFESERV (DTREFEICAO)"),
        QStringLiteral("CREATE TABLE CONSREAL ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " DTREFEICAO {DATE} NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " QTCONSUMIDA {REAL} NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, DTREFEICAO, CDTIPOCARD, CDPRODUTO))"),
        QStringLiteral("CREATE INDEX IX_CONSREAL_DATA ON CONSREAL (DTREFEICAO)"),
    };
}

// The plans and lists the server prepares for reports, and their counters.
QStringList workTables()
{
    return {
        QStringLiteral("CREATE {TEMPDATA}TABLE CONSPLAN ("
                       " NRCONSPLAN VARCHAR(10) NOT NULL PRIMARY KEY,"
                       " CDFILCENTZUB VARCHAR(4) NOT NULL,"
                       " CDOPERADOR VARCHAR(20) NOT NULL,"
                       " DTINICIAL {DATE} NOT NULL,"
                       " DTFINAL {DATE} NOT NULL,"
                       " CDPRODINIC VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " CDPRODFINA VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " DTCRIACAO {TIMESTAMP} NOT NULL)"),
        QStringLiteral("CREATE INDEX IX_CONSPLAN_CRIACAO ON CONSPLAN (DTCRIACAO)"),
        QStringLiteral("CREATE {TEMPDATA}TABLE ITCONSPLAN ("
                       " NRCONSPLAN VARCHAR(10) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " QTREFEPLAN {BIGINT} NOT NULL,"
                       " QTPLANEJADA {REAL} NOT NULL)"),
        // The GROUP BY that fills a plan already makes its rows unique; a five-column key
        // would double the cost of storing a plan.
        QStringLiteral("CREATE INDEX IX_ITCONSPLAN_NUMERO ON ITCONSPLAN (NRCONSPLAN)"),
        QStringLiteral("CREATE {TEMPDATA}TABLE LISTA ("
                       " NRLISTA VARCHAR(10) NOT NULL,"
                       " IDTIPOLISTA CHAR(1) NOT NULL,"
                       " CDCHAVE VARCHAR(10) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NULL,"
                       " CDSERVFILI VARCHAR(5) NULL,"
                       " CDTIPOCARD VARCHAR(10) NULL,"
                       " DTCRIACAO {TIMESTAMP} NOT NULL,"
                       " PRIMARY KEY (NRLISTA, CDCHAVE))"),
        QStringLiteral("CREATE INDEX IX_LISTA_CRIACAO ON LISTA (DTCRIACAO)"),
        QStringLiteral("{COUNTERS}"),
    };
}

// Indexes by branch and date, the monthly sums and the report's prepared data.
QStringList version2()
{
    return {
        // Reports filter by branch and period.
        QStringLiteral("CREATE INDEX IX_REFEPLAN_FILIAL_DATA ON REFEPLAN (CDFILIAL, DTREFEICAO)"),
        QStringLiteral("CREATE INDEX IX_REFESERV_FILIAL_DATA ON REFESERV (CDFILIAL, DTREFEICAO)"),
        QStringLiteral("CREATE INDEX IX_CONSREAL_FILIAL_DATA ON CONSREAL (CDFILIAL, DTREFEICAO)"),
        // Monthly sums kept by triggers (see summaries.h). Keyed by branch first and by month
        // last: a report reads the months of each branch in the order it sums them, with no
        // sort, and a year of a branch's sums lies together on disk.
        QStringLiteral("CREATE TABLE REFEPLANMES ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " DTMES {DATE} NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDCARDAPIO VARCHAR(10) NOT NULL,"
                       " QTREFEPLAN {BIGINT} NOT NULL,"
                       " QTLINHAS INTEGER NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, CDTIPOCARD, CDCARDAPIO, DTMES)){WITHOUTROWID}"),
        QStringLiteral("CREATE TABLE REFESERVMES ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " DTMES {DATE} NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " QTREFESERV {BIGINT} NOT NULL,"
                       " QTLINHAS INTEGER NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, CDTIPOCARD, DTMES)){WITHOUTROWID}"),
        QStringLiteral("CREATE TABLE CONSREALMES ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " DTMES {DATE} NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " QTCONSUMIDA {REAL} NOT NULL,"
                       " QTLINHAS INTEGER NOT NULL,"
                       " PRIMARY KEY (CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, DTMES)){WITHOUTROWID}"),
        QStringLiteral("{SUMMARIES}"),
        // The report's data, prepared under the plan number: planned and actual per branch,
        // service, menu type and product, the meals planned per menu and the meals served
        // (rows without a menu). The
        // consolidated plan of stockable products is a view of it, so nothing is stored twice.
        QStringLiteral("DROP TABLE ITCONSPLAN"),
        QStringLiteral("CREATE {TEMPDATA}TABLE ITCONSPLANREAL ("
                       " NRCONSPLAN VARCHAR(10) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDPRODUTO VARCHAR(10) {BYTEORDER} NOT NULL,"
                       " IDESTOCAVEL CHAR(1) NOT NULL,"
                       " QTREFEPLAN {BIGINT} NULL,"
                       " QTPLANEJADA {REAL} NOT NULL,"
                       " QTCONSUMIDA {REAL} NOT NULL)"),
        QStringLiteral("CREATE INDEX IX_ITCONSPLANREAL_NUMERO ON ITCONSPLANREAL (NRCONSPLAN, CDFILIAL, CDSERVFILI)"),
        QStringLiteral("CREATE {TEMPDATA}TABLE REFECONSPLAN ("
                       " NRCONSPLAN VARCHAR(10) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " CDCARDAPIO VARCHAR(10) NULL,"
                       " QTREFEPLAN {BIGINT} NOT NULL,"
                       " QTREFESERV {BIGINT} NOT NULL)"),
        QStringLiteral("CREATE INDEX IX_REFECONSPLAN_NUMERO ON REFECONSPLAN (NRCONSPLAN, CDFILIAL, CDSERVFILI)"),
        QStringLiteral("CREATE VIEW ITCONSPLAN AS"
                       " SELECT NRCONSPLAN, CDFILIAL, CDSERVFILI, CDTIPOCARD, CDPRODUTO, QTREFEPLAN, QTPLANEJADA"
                       " FROM ITCONSPLANREAL WHERE IDESTOCAVEL = 'S' AND QTREFEPLAN IS NOT NULL"),
    };
}

// Operators, their sessions and the audit of report runs; plans and lists know who made them.
QStringList version3()
{
    return {
        QStringLiteral("CREATE TABLE OPERADOR ("
                       " CDOPERADOR VARCHAR(20) NOT NULL PRIMARY KEY,"
                       " NMOPERADOR VARCHAR(60) NOT NULL,"
                       " DSSENHA VARCHAR(128) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " IDPAPEL CHAR(1) NOT NULL,"
                       " IDATIVO CHAR(1) NOT NULL DEFAULT 'S',"
                       " QTFALHAS INTEGER NOT NULL DEFAULT 0,"
                       " DTBLOQUEIO {TIMESTAMP} NULL)"),
        QStringLiteral("CREATE TABLE SESSAO ("
                       " CDSESSAO VARCHAR(64) NOT NULL PRIMARY KEY,"
                       " CDOPERADOR VARCHAR(20) NOT NULL REFERENCES OPERADOR (CDOPERADOR),"
                       " DTCRIACAO {TIMESTAMP} NOT NULL,"
                       " DTULTIMOUSO {TIMESTAMP} NOT NULL)"),
        QStringLiteral("CREATE TABLE AUDITORIA ("
                       " DTINICIO {TIMESTAMP} NOT NULL,"
                       " CDOPERADOR VARCHAR(20) NOT NULL,"
                       " NMMETODO VARCHAR(40) NOT NULL,"
                       " DSFILTROS TEXT NOT NULL,"
                       " NRCONSPLAN VARCHAR(40) NULL,"
                       " DSRESULTADO TEXT NOT NULL,"
                       " QTDURACAOMS INTEGER NOT NULL)"),
        QStringLiteral("CREATE INDEX IX_AUDITORIA_INICIO ON AUDITORIA (DTINICIO)"),
        QStringLiteral("ALTER TABLE CONSPLAN ADD COLUMN CDDONO VARCHAR(64) NULL"),
        QStringLiteral("ALTER TABLE LISTA ADD COLUMN CDDONO VARCHAR(64) NULL"),
    };
}

// Filters an operator saved under a name, shared with its central or not; the school
// years of each central, which the period "ano letivo" reads.
QStringList version4()
{
    return {
        QStringLiteral("CREATE TABLE FILTROSALVO ("
                       " CDOPERADOR VARCHAR(20) NOT NULL REFERENCES OPERADOR (CDOPERADOR),"
                       " NMFILTRO VARCHAR(60) NOT NULL,"
                       " CDFILCENTZUB VARCHAR(4) NOT NULL,"
                       " IDCOMPARTILHADO CHAR(1) NOT NULL DEFAULT 'N',"
                       " DSFILTRO TEXT NOT NULL,"
                       " DTCRIACAO {TIMESTAMP} NOT NULL,"
                       " DTALTERACAO {TIMESTAMP} NOT NULL,"
                       " PRIMARY KEY (CDOPERADOR, NMFILTRO))"),
        QStringLiteral("CREATE INDEX IX_FILTROSALVO_CENTRAL ON FILTROSALVO (CDFILCENTZUB, IDCOMPARTILHADO)"),
        QStringLiteral("CREATE TABLE ANOLETIVO ("
                       " CDFILCENTZUB VARCHAR(4) NOT NULL REFERENCES FILIAL (CDFILIAL),"
                       " NRANO INTEGER NOT NULL,"
                       " DTINICIO {DATE} NOT NULL,"
                       " DTFIM {DATE} NOT NULL,"
                       " PRIMARY KEY (CDFILCENTZUB, NRANO))"),
    };
}

// The days of each branch whose records do not match, kept with the plan (see datagaps.h).
QStringList version5()
{
    return {
        QStringLiteral("CREATE {TEMPDATA}TABLE FALTACONSPLAN ("
                       " NRCONSPLAN VARCHAR(10) NOT NULL,"
                       " IDFALTA CHAR(1) NOT NULL,"
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " DTREFEICAO {DATE} NOT NULL)"),
        QStringLiteral("CREATE INDEX IX_FALTACONSPLAN_NUMERO ON FALTACONSPLAN (NRCONSPLAN, IDFALTA, CDFILIAL)"),
    };
}

// A name shared within a central names one filter, so nobody's run can take another's.
// Names shared twice before keep it with the earliest; the later ones become private.
// The audit keeps the address each call came from.
QStringList version6()
{
    return {
        QStringLiteral("ALTER TABLE AUDITORIA ADD COLUMN DSENDERECO VARCHAR(64) NULL"),
        QStringLiteral("UPDATE FILTROSALVO SET IDCOMPARTILHADO = 'N' WHERE IDCOMPARTILHADO = 'S' AND EXISTS ("
                       "SELECT 1 FROM FILTROSALVO E WHERE E.CDFILCENTZUB = FILTROSALVO.CDFILCENTZUB AND E.NMFILTRO = FILTROSALVO.NMFILTRO"
                       " AND E.IDCOMPARTILHADO = 'S' AND (E.DTCRIACAO < FILTROSALVO.DTCRIACAO"
                       " OR (E.DTCRIACAO = FILTROSALVO.DTCRIACAO AND E.CDOPERADOR < FILTROSALVO.CDOPERADOR)))"),
        QStringLiteral("CREATE UNIQUE INDEX UX_FILTROSALVO_COMPARTILHADO ON FILTROSALVO (CDFILCENTZUB, NMFILTRO) WHERE IDCOMPARTILHADO = 'S'"),
    };
}

// Plans and lists come and go by the thousand: their statistics are refreshed by
// autovacuum after a few thousand rows changed, not after a fifth of the table.
QStringList version7()
{
    // (Version 7 also made CONSREALDIA, the days with consumption, which version 8 replaces; a
    // new database goes straight to REGISTRODIA.)
    return {QStringLiteral("{WORKTABLE_STATISTICS}")};
}

// The triggers version 7 made for CONSREALDIA, by the names they were given then.
QStringList consumptionDaysRemoval(Dialect dialect)
{
    if (dialect == Dialect::Postgres)
        return {QStringLiteral("DROP FUNCTION IF EXISTS FN_CONSREALDIA() CASCADE"), QStringLiteral("DROP FUNCTION IF EXISTS FN_CONSREALDIA_TRUNC() CASCADE")};
    return {QStringLiteral("DROP TRIGGER IF EXISTS TG_CONSREALDIA_INS"), QStringLiteral("DROP TRIGGER IF EXISTS TG_CONSREALDIA_DEL"),
            QStringLiteral("DROP TRIGGER IF EXISTS TG_CONSREALDIA_UPD")};
}

// The days with planned meals, served meals and consumption in one table, kept like the monthly
// sums (see summaries.h).
QStringList version8()
{
    return {
        QStringLiteral("{DROP_CONSUMPTION_DAYS}"),
        QStringLiteral("DROP TABLE IF EXISTS CONSREALDIA"),
        QStringLiteral("CREATE TABLE REGISTRODIA ("
                       " CDFILIAL VARCHAR(4) NOT NULL,"
                       " DTREFEICAO {DATE} NOT NULL,"
                       " CDSERVFILI VARCHAR(5) NOT NULL,"
                       " CDTIPOCARD VARCHAR(10) NOT NULL,"
                       " QTLINHASPLAN INTEGER NOT NULL DEFAULT 0,"
                       " QTLINHASSERV INTEGER NOT NULL DEFAULT 0,"
                       " QTLINHASCONS INTEGER NOT NULL DEFAULT 0,"
                       " PRIMARY KEY (CDFILIAL, DTREFEICAO, CDSERVFILI, CDTIPOCARD){KEYCOUNTS}){WITHOUTROWID}"),
        QStringLiteral("{DAY_RECORDS}"),
        QStringLiteral("{COVERING_INDEXES}"),
    };
}

// On PostgreSQL a central's rows of the monthly sums lie among every other central's, so
// reading them through the key fetches nearly every page of the table: a central's year took
// three times as long among nine centrals as alone. These indexes hold the key (month before
// the menu or product) and the summed figure, so the reports read the index alone. (SQLite
// stores those tables in key order, which already does that.)
QStringList coveringIndexes(Dialect dialect)
{
    if (dialect != Dialect::Postgres)
        return {};
    return {QStringLiteral("CREATE INDEX IX_REFEPLANMES_COBERTURA ON REFEPLANMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, DTMES, CDCARDAPIO) INCLUDE (QTREFEPLAN)"),
            QStringLiteral("CREATE INDEX IX_REFESERVMES_COBERTURA ON REFESERVMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, DTMES) INCLUDE (QTREFESERV)"),
            QStringLiteral("CREATE INDEX IX_CONSREALMES_COBERTURA ON CONSREALMES (CDFILIAL, CDSERVFILI, CDTIPOCARD, DTMES, CDPRODUTO) INCLUDE (QTCONSUMIDA)")};
}

// A plan's statistics are refreshed by the call that stored it (see refreshStatisticsAfter): a
// sample of 3 000 rows tells a new plan's size and spread as well as the default 30 000 in a
// sixth of the time, and the figures, never filtered or joined on, need none.
QStringList version9()
{
    return {QStringLiteral("{WORKTABLE_SAMPLING}")};
}

QStringList workTableSampling(Dialect dialect)
{
    if (dialect != Dialect::Postgres)
        return {};
    const auto sampled = [](const QString &table, const QStringList &keys, const QStringList &figures) {
        QStringList columns;
        for (const QString &key : keys)
            columns << QStringLiteral("ALTER COLUMN %1 SET STATISTICS 10").arg(key);
        for (const QString &figure : figures)
            columns << QStringLiteral("ALTER COLUMN %1 SET STATISTICS 0").arg(figure);
        return QStringLiteral("ALTER TABLE %1 %2").arg(table, columns.join(QStringLiteral(", ")));
    };
    return {sampled(QStringLiteral("ITCONSPLANREAL"),
                    {QStringLiteral("NRCONSPLAN"), QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD"),
                     QStringLiteral("CDPRODUTO"), QStringLiteral("IDESTOCAVEL")},
                    {QStringLiteral("QTREFEPLAN"), QStringLiteral("QTPLANEJADA"), QStringLiteral("QTCONSUMIDA")}),
            sampled(QStringLiteral("REFECONSPLAN"),
                    {QStringLiteral("NRCONSPLAN"), QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD"),
                     QStringLiteral("CDCARDAPIO")},
                    {QStringLiteral("QTREFEPLAN"), QStringLiteral("QTREFESERV")}),
            sampled(QStringLiteral("FALTACONSPLAN"),
                    {QStringLiteral("NRCONSPLAN"), QStringLiteral("IDFALTA"), QStringLiteral("CDFILIAL"), QStringLiteral("DTREFEICAO")}, {})};
}

const QList<Migration> &migrations()
{
    static const QList<Migration> steps = {
        {1, referenceTables() + dailyRecords() + workTables()},
        {2, version2()},
        {3, version3()},
        {4, version4()},
        {5, version5()},
        {6, version6()},
        {7, version7()},
        {8, version8()},
        {9, version9()},
    };
    return steps;
}

QString typed(QString statement, Dialect dialect)
{
    const bool pg = dialect == Dialect::Postgres;
    statement.replace(QLatin1String("{DATE}"), pg ? QStringLiteral("DATE") : QStringLiteral("TEXT"));
    statement.replace(QLatin1String("{TIMESTAMP}"), pg ? QStringLiteral("TIMESTAMP WITH TIME ZONE") : QStringLiteral("TEXT"));
    statement.replace(QLatin1String("{REAL}"), pg ? QStringLiteral("DOUBLE PRECISION") : QStringLiteral("REAL"));
    statement.replace(QLatin1String("{BIGINT}"), pg ? QStringLiteral("BIGINT") : QStringLiteral("INTEGER"));
    // Product codes are compared as ranges ("0" to "zzzzzzzzzz"); byte order keeps that
    // independent of the PostgreSQL database's locale, as SQLite already compares.
    statement.replace(QLatin1String("{BYTEORDER}"), pg ? QStringLiteral("COLLATE \"C\"") : QString());
    // Plans and lists live minutes: PostgreSQL need not write them to its log. After a crash
    // they come back empty, which only ends reports that the crash had already broken.
    statement.replace(QLatin1String("{TEMPDATA}"), pg ? QStringLiteral("UNLOGGED ") : QString());
    // Rows stored in key order: a branch's months lie together on disk.
    statement.replace(QLatin1String("{WITHOUTROWID}"), pg ? QString() : QStringLiteral(" WITHOUT ROWID"));
    // The same for the day records' counts on PostgreSQL: a branch's days are read from the key alone.
    statement.replace(QLatin1String("{KEYCOUNTS}"), pg ? QStringLiteral(" INCLUDE (QTLINHASPLAN, QTLINHASSERV, QTLINHASCONS)") : QString());
    return statement;
}

QStringList counterStatements(Dialect dialect)
{
    QStringList statements;
    if (dialect == Dialect::Postgres) {
        for (const QString &counter : kCounters)
            statements << QStringLiteral("CREATE SEQUENCE SQ_%1").arg(counter);
        return statements;
    }
    statements << QStringLiteral("CREATE TABLE NUMERADOR (NMNUMERADOR VARCHAR(20) NOT NULL PRIMARY KEY, NRULTIMO INTEGER NOT NULL)");
    for (const QString &counter : kCounters)
        statements << QStringLiteral("INSERT INTO NUMERADOR (NMNUMERADOR, NRULTIMO) VALUES ('%1', 0)").arg(counter);
    return statements;
}

QStringList workTableStatistics(Dialect dialect)
{
    QStringList statements;
    if (dialect != Dialect::Postgres)
        return statements;
    for (const QString &table : {QStringLiteral("LISTA"), QStringLiteral("CONSPLAN"), QStringLiteral("ITCONSPLANREAL"),
                                 QStringLiteral("REFECONSPLAN"), QStringLiteral("FALTACONSPLAN")})
        statements << QStringLiteral("ALTER TABLE %1 SET (autovacuum_analyze_scale_factor = 0.0, autovacuum_analyze_threshold = 5000,"
                                     " autovacuum_vacuum_scale_factor = 0.0, autovacuum_vacuum_threshold = 10000)").arg(table);
    return statements;
}

enum class CatalogKind { Table, View };

bool catalogHas(QSqlDatabase &db, CatalogKind kind, const QString &name)
{
    const bool view = kind == CatalogKind::View;
    const Sql sql = dialectOf(db) == Dialect::Postgres
        ? Sql(QStringLiteral("SELECT 1 FROM information_schema.%1 WHERE table_schema = current_schema() AND table_name = ?")
                  .arg(view ? QStringLiteral("views") : QStringLiteral("tables")))
              .bind(name.toLower())
        : Sql(QStringLiteral("SELECT 1 FROM sqlite_master WHERE type = ? AND name = ?"))
              .bind(view ? QStringLiteral("view") : QStringLiteral("table"))
              .bind(name);
    const QString what = QStringLiteral("ler o catálogo do banco");
    QSqlQuery query = exec(db, sql, what);
    return nextRow(db, query, what);
}

bool tableExists(QSqlDatabase &db, const QString &table)
{
    return catalogHas(db, CatalogKind::Table, table);
}

int installedVersion(QSqlDatabase &db)
{
    if (!tableExists(db, QStringLiteral("ZUBVERSAO")))
        return 0;
    const QString what = QStringLiteral("ler a versão do esquema");
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT MAX(NRVERSAO) FROM ZUBVERSAO")), what);
    return nextRow(db, query, what) ? query.value(0).toInt() : 0;
}

} // namespace

int installedSchemaVersion(QSqlDatabase &db)
{
    return installedVersion(db);
}

int currentSchemaVersion()
{
    return migrations().constLast().version;
}

QStringList schemaTables()
{
    return {QStringLiteral("FILIAL"),      QStringLiteral("GRUPFILI"),    QStringLiteral("ITGRUPFILI"),  QStringLiteral("GRUPSERV"),
            QStringLiteral("SERVFILI"),    QStringLiteral("TIPOCARD"),    QStringLiteral("PRODUTO"),     QStringLiteral("TIPOCUSTO"),
            QStringLiteral("CUSTOPROD"),   QStringLiteral("CARDAPIO"),    QStringLiteral("ITCARDAPIO"),  QStringLiteral("REFEPLAN"),
            QStringLiteral("REFESERV"),    QStringLiteral("CONSREAL"),    QStringLiteral("REFEPLANMES"), QStringLiteral("REFESERVMES"),
            QStringLiteral("CONSREALMES"), QStringLiteral("CONSPLAN"),    QStringLiteral("ITCONSPLANREAL"), QStringLiteral("REFECONSPLAN"),
            QStringLiteral("LISTA"),       QStringLiteral("OPERADOR"),    QStringLiteral("SESSAO"),      QStringLiteral("AUDITORIA"),
            QStringLiteral("FILTROSALVO"), QStringLiteral("ANOLETIVO"), QStringLiteral("FALTACONSPLAN"),
            QStringLiteral("REGISTRODIA")};
}

// On PostgreSQL, the role report queries run under: it reads the report's tables and nothing
// else (not the operators, their sessions, the audit or the saved filters), and writes nothing.
// Roles belong to the whole cluster, so servers of other databases may be creating it too.
// A server that logs in as a plain role (no CREATEROLE) finds the role made and granted to it by
// whoever set the database up: creating or granting it again would be refused, so each is done
// only when missing.
static void grantReportRole(QSqlDatabase &db)
{
    if (dialectOf(db) != Dialect::Postgres)
        return;
    const QString role = QLatin1String(kReportRole);
    try {
        execScript(db,
                   {QStringLiteral("DO $$ BEGIN IF NOT EXISTS (SELECT FROM pg_roles WHERE rolname = '%1') THEN CREATE ROLE %1 NOLOGIN; END IF; "
                                   "EXCEPTION WHEN duplicate_object OR unique_violation THEN NULL; END $$").arg(role),
                    QStringLiteral("GRANT USAGE ON SCHEMA public TO %1").arg(role),
                    QStringLiteral("GRANT SELECT ON ALL TABLES IN SCHEMA public TO %1").arg(role),
                    QStringLiteral("REVOKE ALL ON OPERADOR, SESSAO, AUDITORIA, FILTROSALVO FROM %1").arg(role),
                    QStringLiteral("DO $$ BEGIN IF NOT pg_has_role(CURRENT_USER, '%1', 'MEMBER') THEN EXECUTE format('GRANT %1 TO %I', CURRENT_USER); "
                                   "END IF; END $$").arg(role)},
                   QStringLiteral("preparar o papel %1 das consultas de relatório").arg(role));
    } catch (const DbError &error) {
        logLine(LogLevel::Warning, QStringLiteral("%1 (crie o papel como descrito no README: as consultas de relatório seguem só em "
                                                  "transações somente de leitura)").arg(error.message));
    }
}

void ensureSchema(QSqlDatabase &db)
{
    const Dialect dialect = dialectOf(db);
    WriteTransaction transaction(db);
    // Several servers may start at once against one PostgreSQL; the first one migrates, the
    // others wait for it. A migration that fills a table of a large central runs for minutes:
    // the time limits of a call do not apply to it.
    if (dialect == Dialect::Postgres)
        execScript(db,
                   {QStringLiteral("SET LOCAL statement_timeout = 0"), QStringLiteral("SET LOCAL lock_timeout = 0"),
                    QStringLiteral("SELECT pg_advisory_xact_lock(4701100)")},
                   QStringLiteral("reservar a atualização do esquema"));
    const int installed = installedVersion(db);
    if (installed > currentSchemaVersion())
        throw DbError{QStringLiteral("O banco de dados tem o esquema versão %1, mais novo que o deste servidor (%2). Atualize o servidor.")
                          .arg(installed)
                          .arg(currentSchemaVersion())};
    if (installed == currentSchemaVersion()) {
        transaction.commit();
        grantReportRole(db);
        return;
    }
    if (installed == 0 && tableExists(db, QStringLiteral("FILIAL")))
        throw DbError{QStringLiteral("O banco de dados já tem tabelas, mas não a tabela de versão ZUBVERSAO: não é um banco deste servidor.")};
    if (installed == 0)
        execScript(db, {QStringLiteral("CREATE TABLE ZUBVERSAO (NRVERSAO INTEGER NOT NULL)")}, QStringLiteral("criar a tabela de versão"));
    for (const Migration &step : migrations()) {
        if (step.version <= installed)
            continue;
        QStringList statements;
        for (const QString &statement : step.statements) {
            if (statement == QLatin1String("{COUNTERS}"))
                statements << counterStatements(dialect);
            else if (statement == QLatin1String("{SUMMARIES}"))
                statements << summaryCreation(dialect);
            else if (statement == QLatin1String("{DAY_RECORDS}"))
                statements << dayRecordsCreation(dialect);
            else if (statement == QLatin1String("{DROP_CONSUMPTION_DAYS}"))
                statements << consumptionDaysRemoval(dialect);
            else if (statement == QLatin1String("{COVERING_INDEXES}"))
                statements << coveringIndexes(dialect);
            else if (statement == QLatin1String("{WORKTABLE_STATISTICS}"))
                statements << workTableStatistics(dialect);
            else if (statement == QLatin1String("{WORKTABLE_SAMPLING}"))
                statements << workTableSampling(dialect);
            else
                statements << typed(statement, dialect);
        }
        execScript(db, statements, QStringLiteral("criar o esquema versão %1").arg(step.version));
        exec(db, Sql(QStringLiteral("INSERT INTO ZUBVERSAO (NRVERSAO) VALUES (?)")).bind(step.version), QStringLiteral("registrar a versão do esquema"));
    }
    transaction.commit();
    grantReportRole(db);
}

void dropSchema(QSqlDatabase &db)
{
    const Dialect dialect = dialectOf(db);
    WriteTransaction transaction(db);
    QStringList statements;
    QStringList tables = schemaTables();
    std::reverse(tables.begin(), tables.end());
    tables << QStringLiteral("ZUBVERSAO");
    // The consolidated plan is a view since the second version, a table before.
    statements << QStringLiteral("DROP %1 IF EXISTS ITCONSPLAN").arg(catalogHas(db, CatalogKind::View, QStringLiteral("ITCONSPLAN")) ? QStringLiteral("VIEW") : QStringLiteral("TABLE"));
    for (const QString &table : tables)
        statements << QStringLiteral("DROP TABLE IF EXISTS %1%2").arg(table, dialect == Dialect::Postgres ? QStringLiteral(" CASCADE") : QString());
    statements << summaryRemoval(dialect);
    if (dialect == Dialect::Postgres) {
        for (const QString &counter : kCounters)
            statements << QStringLiteral("DROP SEQUENCE IF EXISTS SQ_%1").arg(counter);
    } else {
        statements << QStringLiteral("DROP TABLE IF EXISTS NUMERADOR");
    }
    execScript(db, statements, QStringLiteral("apagar o esquema"));
    transaction.commit();
}

} // namespace server
