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

bool isShared(const MonthlySummary &summary)
{
    return !summary.sharedCounts.isEmpty();
}

QString addRow(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    QStringList names{columns(summary), periodColumn(summary)};
    QStringList values{columns(summary, alias + QLatin1Char('.')), periodOf(summary, alias, dialect)};
    QStringList updates;
    if (!summary.sum.isEmpty()) {
        names << summary.sum;
        values << alias + QLatin1Char('.') + summary.sum;
        updates << QStringLiteral("%2 = %1.%2 + excluded.%2").arg(summary.table, summary.sum);
    }
    names << summary.count;
    values << QStringLiteral("1");
    updates << QStringLiteral("%2 = %1.%2 + 1").arg(summary.table, summary.count);
    return QStringLiteral("INSERT INTO %1 (%2) VALUES (%3) ON CONFLICT (%4, %5) DO UPDATE SET %6")
        .arg(summary.table, names.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")), columns(summary), periodColumn(summary),
             updates.join(QStringLiteral(", ")));
}

QString noRowsLeft(const MonthlySummary &summary)
{
    QStringList terms;
    for (const QString &count : summary.allCounts())
        terms << count + QStringLiteral(" = 0");
    return terms.join(QStringLiteral(" AND "));
}

QStringList removeRow(const MonthlySummary &summary, const QString &alias, Dialect dialect)
{
    const QString where = sameRow(summary, alias, dialect);
    QStringList changes;
    if (!summary.sum.isEmpty())
        changes << QStringLiteral("%1 = %1 - %2.%1").arg(summary.sum, alias);
    changes << QStringLiteral("%1 = %1 - 1").arg(summary.count);
    return {QStringLiteral("UPDATE %1 SET %2 WHERE %3").arg(summary.table, changes.join(QStringLiteral(", ")), where),
            QStringLiteral("DELETE FROM %1 WHERE %2 AND %3").arg(summary.table, where, noRowsLeft(summary))};
}

// Each source of a shared table has triggers of its own.
QString objectBase(const MonthlySummary &summary)
{
    return isShared(summary) ? summary.table + QLatin1Char('_') + summary.source : summary.table;
}

QString triggerName(const MonthlySummary &summary, const QString &suffix = {})
{
    return QStringLiteral("TG_%1%2").arg(objectBase(summary), suffix);
}

QString functionName(const MonthlySummary &summary, const QString &suffix = {})
{
    return QStringLiteral("FN_%1%2").arg(objectBase(summary), suffix);
}

// What emptying the source leaves of the summary.
QString emptiedSource(const MonthlySummary &summary)
{
    if (!isShared(summary))
        return QStringLiteral("TRUNCATE %1").arg(summary.table);
    return QStringLiteral("UPDATE %1 SET %2 = 0; DELETE FROM %1 WHERE %3").arg(summary.table, summary.count, noRowsLeft(summary));
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
            QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql AS $$ BEGIN %2; RETURN NULL; END $$")
                .arg(functionName(summary, QStringLiteral("_TRUNC")), emptiedSource(summary)),
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

// Fills the summary from its source's rows; the table was emptied before its first source.
QString fill(const MonthlySummary &summary, Dialect dialect)
{
    const QString period = periodOf(summary, QStringLiteral("R"), dialect);
    QStringList names{columns(summary), periodColumn(summary)};
    QStringList values{columns(summary, QStringLiteral("R.")), period};
    if (!summary.sum.isEmpty()) {
        names << summary.sum;
        values << QStringLiteral("SUM(R.%1)").arg(summary.sum);
    }
    names << summary.count;
    values << QStringLiteral("COUNT(*)");
    // SQLite reads "ON" after a bare FROM as a join's; the WHERE keeps the upsert unambiguous.
    QString statement = QStringLiteral("INSERT INTO %1 (%2) SELECT %3 FROM %4 R WHERE 1 = 1 GROUP BY %5, %6")
                            .arg(summary.table, names.join(QStringLiteral(", ")), values.join(QStringLiteral(", ")), summary.source,
                                 columns(summary, QStringLiteral("R.")), period);
    if (isShared(summary))
        statement += QStringLiteral(" ON CONFLICT (%1, %2) DO UPDATE SET %3 = excluded.%3").arg(columns(summary), periodColumn(summary), summary.count);
    return statement;
}

QList<MonthlySummary> allSummaries()
{
    return monthlySummaries() + dayRecords();
}

// Without triggers: a new schema has none yet, a bulk load has suspended them.
QStringList rebuildStatements(Dialect dialect, const QList<MonthlySummary> &summaries)
{
    QStringList statements;
    QStringList emptied;
    for (const MonthlySummary &summary : summaries) {
        if (!emptied.contains(summary.table)) {
            statements << QStringLiteral("DELETE FROM %1").arg(summary.table);
            emptied << summary.table;
        }
        statements << fill(summary, dialect) << triggerCreation(summary, dialect);
    }
    // Fresh figures for the planner: a table filled here has none yet, and a search planned
    // on guesses took minutes instead of a second.
    if (dialect == Dialect::Postgres) {
        for (const QString &table : emptied)
            statements << QStringLiteral("ANALYZE ") + table;
    }
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

const QList<MonthlySummary> &dayRecords()
{
    static const QList<MonthlySummary> records = [] {
        const QStringList keys{QStringLiteral("CDFILIAL"), QStringLiteral("CDSERVFILI"), QStringLiteral("CDTIPOCARD")};
        const QStringList counts{QStringLiteral("QTLINHASPLAN"), QStringLiteral("QTLINHASSERV"), QStringLiteral("QTLINHASCONS")};
        const QStringList sources{QStringLiteral("REFEPLAN"), QStringLiteral("REFESERV"), QStringLiteral("CONSREAL")};
        QList<MonthlySummary> list;
        for (int i = 0; i < sources.size(); ++i)
            list.append({QStringLiteral("REGISTRODIA"), sources[i], keys, {}, true, counts[i], counts});
        return list;
    }();
    return records;
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

QStringList dayRecordsCreation(Dialect dialect)
{
    return rebuildStatements(dialect, dayRecords());
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
