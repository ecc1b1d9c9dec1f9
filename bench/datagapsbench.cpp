// Times the search for the days whose records do not match (server/datagaps.h) on an existing
// demo database, beside a plain query of the same answer that groups every day row:
//
//   zub-server --database sqlite:/tmp/zub300.db --create-demo --branches 300     # once
//   zub-bench-faltas --database sqlite:/tmp/zub300.db [--database postgresql://...] [--repeat 5]
#include "server/database.h"
#include "server/datagaps.h"
#include "server/reportdata.h"

#include <QCommandLineParser>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QSqlQuery>
#include <cstdio>

using namespace server;

namespace {

struct Period {
    const char *label;
    QDate start, end;
};

const QList<Period> kPeriods = {{"mês (mar/2025)", QDate(2025, 3, 1), QDate(2025, 3, 31)},
                                {"trimestre (1º/2025)", QDate(2025, 1, 1), QDate(2025, 3, 31)},
                                {"ano (2025)", QDate(2025, 1, 1), QDate(2025, 12, 31)}};

// The same answer the way one first writes it: every day row of the three tables, grouped.
Sql plainQuery(const PlanScope &scope)
{
    Sql sql(QStringLiteral("SELECT CDFILIAL, DTREFEICAO, MAX(IDPLAN), MAX(IDSERV), MAX(IDCONS) FROM ("));
    const QStringList tables{QStringLiteral("REFEPLAN"), QStringLiteral("REFESERV"), QStringLiteral("CONSREAL")};
    for (int i = 0; i < tables.size(); ++i) {
        if (i > 0)
            sql.add(QStringLiteral(" UNION ALL "));
        sql.add(QStringLiteral("SELECT X.CDFILIAL, X.DTREFEICAO, %1 AS IDPLAN, %2 AS IDSERV, %3 AS IDCONS FROM %4 X"
                               " JOIN FILIAL F ON F.CDFILIAL = X.CDFILIAL WHERE F.CDFILCENTZUB = ? AND X.DTREFEICAO BETWEEN ? AND ?")
                    .arg(int(i == 0)).arg(int(i == 1)).arg(int(i == 2)).arg(tables[i]))
            .bind(scope.central)
            .bind(scope.start)
            .bind(scope.end);
    }
    sql.add(QStringLiteral(") A GROUP BY CDFILIAL, DTREFEICAO HAVING MAX(IDPLAN) = 0 OR MAX(IDSERV) = 0 OR MAX(IDCONS) = 0"));
    return sql;
}

// Milliseconds of the median run, and the rows of the last.
double timed(QSqlDatabase &db, const Sql &sql, int repeat, qint64 *rows)
{
    QList<double> runs;
    for (int i = 0; i < repeat; ++i) {
        QElapsedTimer timer;
        timer.start();
        QSqlQuery query = exec(db, sql, QStringLiteral("medir"));
        *rows = 0;
        while (query.next())
            ++*rows;
        runs << timer.nsecsElapsed() / 1e6;
    }
    std::sort(runs.begin(), runs.end());
    return runs[runs.size() / 2];
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication app(argc, argv);
    QCommandLineParser parser;
    parser.setApplicationDescription(QStringLiteral("Mede a busca dos dias com registros faltando num banco de demonstração."));
    parser.addHelpOption();
    parser.addOptions({{"database", "Banco (repetível), já com os dados de demonstração.", "endereço"},
                       {"repeat", "Repetições de cada caso (padrão 5); a mediana é mostrada.", "n", "5"}});
    parser.process(app);
    const int repeat = qMax(1, parser.value("repeat").toInt());
    try {
        for (const QString &address : parser.values("database")) {
            DbSettings settings;
            QString error;
            const auto url = wire::DatabaseUrl::parse(address, &error);
            if (!url) {
                std::fprintf(stderr, "zub-bench-faltas: %s\n", qPrintable(error));
                return 2;
            }
            settings.url = *url;
            QSqlDatabase db = openConnection(settings, address);
            for (const Period &period : kPeriods) {
                PlanScope scope;
                scope.central = QStringLiteral("0001");
                scope.branches = wire::KeySelection{true, {}};
                scope.start = period.start;
                scope.end = period.end;
                qint64 gaps = 0, plain = 0;
                exec(db, dataGaps(dialectOf(db), scope), QStringLiteral("aquecer")); // the pages in the cache, as on a running server
                const double gapsMs = timed(db, dataGaps(dialectOf(db), scope), repeat, &gaps);
                const double plainMs = timed(db, plainQuery(scope), qMin(repeat, 3), &plain);
                // What the gaps add to a preparation: both stored, then rolled back.
                double storeMs = 0, storeGapsMs = 0;
                {
                    WriteTransaction transaction(db);
                    QElapsedTimer timer;
                    timer.start();
                    storeReportData(db, QStringLiteral("9999999999"), scope);
                    storeMs = timer.nsecsElapsed() / 1e6;
                    timer.restart();
                    storeDataGaps(db, QStringLiteral("9999999999"), scope);
                    storeGapsMs = timer.nsecsElapsed() / 1e6;
                }
                std::printf("%s, %s: faltas %.0f ms (%lld linhas); consulta simples %.0f ms (%lld dias);"
                            " na preparação: dados %.0f ms + faltas %.0f ms\n",
                            qPrintable(url->kind == wire::DatabaseUrl::Kind::Sqlite ? QStringLiteral("SQLite") : QStringLiteral("PostgreSQL")),
                            period.label, gapsMs, gaps, plainMs, plain, storeMs, storeGapsMs);
                std::fflush(stdout);
            }
        }
    } catch (const DbError &failure) {
        std::fprintf(stderr, "zub-bench-faltas: %s\n", qPrintable(failure.message));
        return 1;
    }
    return 0;
}
