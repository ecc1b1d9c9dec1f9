#include "server/summaries.h"

namespace server {

namespace {

QString periodColumn(const MonthlySummary &summary)
{
    return summary.daily ? QStringLiteral("DTREFEICAO") : QStringLiteral("DTMES");
}

// The summary row's period of the source row `alias`.
QString periodOf(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    return summary.daily ? alias + QStringLiteral(".DTREFEICAO") : monthOf(alias, dialect);
}

QString columns(const MonthlySummary &summary, const QString &alias = {})
{
    QStringList names;
    for (const QString &key : summary.keys)
        names << alias + key;
    return names.join(QStringLiteral(", "));
}

// "CDFILIAL = OLD.CDFILIAL AND ... AND DTMES = <month of OLD>"
QString sameRow(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    QStringList terms;
    for (const QString &key : summary.keys)
        terms << QStringLiteral("%1 = %2.%1").arg(key, alias);
    terms << QStringLiteral("%1 = %2").arg(periodColumn(summary), periodOf(summary, alias, dialect));
    return terms.join(QStringLiteral(" AND "));
}

QString addRow(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    return QStringLiteral("INSERT INTO %1 (%2, %7, %3, QTLINHAS) VALUES (%4, %5, %6.%3, 1)"
                          " ON CONFLICT (%2, %7) DO UPDATE SET %3 = %1.%3 + excluded.%3, QTLINHAS = %1.QTLINHAS + 1")
        .arg(summary.table, columns(summary), summary.sum, columns(summary, alias + QLatin1Char('.')), periodOf(summary, alias, dialect), alias,
             periodColumn(summary));
}

QStringList removeRow(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    const QString where = sameRow(summary, alias, dialect);
    return {QStringLiteral("UPDATE %1 SET %2 = %2 - %3.%2, QTLINHAS = QTLINHAS - 1 WHERE %4").arg(summary.table, summary.sum, alias, where),
            QStringLiteral("DELETE FROM %1 WHERE %2 AND QTLINHAS = 0").arg(summary.table, where)};
}

QString triggerName(const MonthlySummary &summary, const QString &suffix = {})
{
    return QStringLiteral("TG_%1%2").arg(summary.table, suffix);
}

QString functionName(const MonthlySummary &summary, const QString &suffix = {})
{
    return QStringLiteral("FN_%1%2").arg(summary.table, suffix);
}

QStringList triggerCreation(const MonthlySummary &summary, Dialect dialect)
{
    if (dialect == Dialect::Sqlite) {
        const QString body = QStringLiteral("CREATE TRIGGER %1 AFTER %2 ON %3 BEGIN %4; END");
        return {body.arg(triggerName(summary, QStringLiteral("_INS")), QStringLiteral("INSERT"), summary.source, addRow(summary, QStringLiteral("NEW"), dialect)),
                body.arg(triggerName(summary, QStringLiteral("_DEL")), QStringLiteral("DELETE"), summary.source,
                         removeRow(summary, QStringLiteral("OLD"), dialect).join(QStringLiteral("; "))),
                body.arg(triggerName(summary, QStringLiteral("_UPD")), QStringLiteral("UPDATE"), summary.source,
                         (removeRow(summary, QStringLiteral("OLD"), dialect) << addRow(summary, QStringLiteral("NEW"), dialect)).join(QStringLiteral("; ")))};
    }
    return {QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN"
                           " IF TG_OP <> 'INSERT' THEN %2; END IF;"
                           " IF TG_OP <> 'DELETE' THEN %3; END IF;"
                           " RETURN NULL; END $$")
                .arg(functionName(summary), removeRow(summary, QStringLiteral("OLD"), dialect).join(QStringLiteral("; ")),
                     addRow(summary, QStringLiteral("NEW"), dialect)),
            QStringLiteral("CREATE TRIGGER %1 AFTER INSERT OR UPDATE OR DELETE ON %2 FOR EACH ROW EXECUTE FUNCTION %3()")
                .arg(triggerName(summary), summary.source, functionName(summary)),
            QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN TRUNCATE %2; RETURN NULL; END $$")
                .arg(functionName(summary, QStringLiteral("_TRUNC")), summary.table),
            QStringLiteral("CREATE TRIGGER %1 AFTER TRUNCATE ON %2 FOR EACH STATEMENT EXECUTE FUNCTION %3()")
                .arg(triggerName(summary, QStringLiteral("_TRUNC")), summary.source, functionName(summary, QStringLiteral("_TRUNC")))};
}

QStringList triggerRemoval(const MonthlySummary &summary, Dialect dialect)
{
    if (dialect == Dialect::Sqlite) {
        QStringList statements;
        for (const QString &suffix : {QStringLiteral("_INS"), QStringLiteral("_DEL"), QStringLiteral("_UPD")})
            statements << QStringLiteral("DROP TRIGGER IF EXISTS %1").arg(triggerName(summary, suffix));
        return statements;
    }
    return {QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(triggerName(summary), summary.source),
            QStringLiteral("DROP TRIGGER IF EXISTS %1 ON %2").arg(triggerName(summary, QStringLiteral("_TRUNC")), summary.source)};
}

QStringList refill(const MonthlySummary &summary, Dialect dialect)
{
    const QString period = periodOf(summary, QStringLiteral("R"), dialect);
    return {QStringLiteral("DELETE FROM %1").arg(summary.table),
            QStringLiteral("INSERT INTO %1 (%2, %7, %3, QTLINHAS) SELECT %4, %5, SUM(R.%3), COUNT(*) FROM %6 R GROUP BY %4, %5")
                .arg(summary.table, columns(summary), summary.sum, columns(summary, QStringLiteral("R.")), period, summary.source,
                     periodColumn(summary))};
}

QList<MonthlySummary> allSummaries()
{
    return monthlySummaries() + QList<MonthlySummary>{consumptionDays()};
}

// Without triggers: a new schema has none yet, a bulk load has suspended them.
QStringList rebuildStatements(Dialect dialect, const QList<MonthlySummary> &summaries)
{
    QStringList statements;
    for (const MonthlySummary &summary : summaries)
        statements << refill(summary, dialect) << triggerCreation(summary, dialect);
    return statements;
}

} // namespace

const QList<MonthlySummary> &monthlySummaries()
{
    static const QList<MonthlySummary> summaries = {
        {QStringLiteral("REFEPLANMES"), QStringLiteral("REFEPLAN"),
         {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD"), QStringLiteral("CDCARDAPIO")},
         QStringLiteral("QTREFEPLAN")},
        {QStringLiteral("REFESERVMES"), QStringLiteral("REFESERV"),
         {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD")}, QStringLiteral("QTREFESERV")},
        {QStringLiteral("CONSREALMES"), QStringLiteral("CONSREAL"),
         {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD"), QStringLiteral("CDPRODUTO")},
         QStringLiteral("QTCONSUMIDA")},
    };
    return summaries;
}

const MonthlySummary &consumptionDays()
{
    static const MonthlySummary days{QStringLiteral("CONSREALDIA"), QStringLiteral("CONSREAL"),
                                     {QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD")},
                                     QStringLiteral("QTCONSUMIDA"), true};
    return days;
}

QString monthOf(const QString &alias, Dialect dialect)
{
    // SQLite keeps dates as "YYYY-MM-DD" text.
    return dialect == Dialect::Postgres ? QStringLiteral("CAST(date_trunc('month', %1.DTREFEICAO) AS DATE)").arg(alias)
                                        : QStringLiteral("substr(%1.DTREFEICAO, 1, 8) || '01'").arg(alias);
}

QStringList summaryCreation(Dialect dialect)
{
    return rebuildStatements(dialect, monthlySummaries());
}

QStringList consumptionDaysCreation(Dialect dialect)
{
    return rebuildStatements(dialect, {consumptionDays()});
}

QStringList summaryRemoval(Dialect dialect)
{
    QStringList statements;
    if (dialect != Dialect::Postgres)
        return statements;
    for (const MonthlySummary &summary : allSummaries()) {
        statements << QStringLiteral("DROP FUNCTION IF EXISTS %1() CASCADE").arg(functionName(summary))
                   << QStringLiteral("DROP FUNCTION IF EXISTS %1() CASCADE").arg(functionName(summary, QStringLiteral("_TRUNC")));
    }
    return statements;
}

void suspendSummaries(QSqlDatabase &db)
{
    QStringList statements;
    for (const MonthlySummary &summary : allSummaries())
        statements << triggerRemoval(summary, dialectOf(db));
    execScript(db, statements, QStringLiteral("suspender os resumos mensais"));
}

void rebuildSummaries(QSqlDatabase &db)
{
    execScript(db, rebuildStatements(dialectOf(db), allSummaries()), QStringLiteral("recalcular os resumos mensais"));
}

} // namespace server
