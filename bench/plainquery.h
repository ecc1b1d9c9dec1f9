#pragma once

// The benchmarks' yardstick: the planned-versus-actual result of a report (layout 01's rows) as
// one first writes it, straight from the day rows: each planned meal times its menu's
// ingredients, and the consumption, grouped by service and product with their cost.

#include <QDate>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QStringList>

namespace bench {

// The rows of the result for the central's active menu types 01 to 03 and cost type 1; every
// school of the central when `branches` is empty. -1 with `error` set when the query fails.
inline qint64 plainResult(QSqlDatabase &db, const QString &central, const QStringList &branches, const QDate &start, const QDate &end,
                          bool onlyNonStockables, QString *error)
{
    QString branchTerm;
    if (!branches.isEmpty())
        branchTerm = QStringLiteral(" AND F.CDFILIAL IN (?") + QStringLiteral(", ?").repeated(branches.size() - 1) + QLatin1Char(')');
    const QString scope = QStringLiteral(" JOIN FILIAL F ON F.CDFILIAL = %1.CDFILIAL WHERE F.CDFILCENTZUB = ?") + branchTerm
                          + QStringLiteral(" AND %1.DTREFEICAO BETWEEN ? AND ? AND %1.CDTIPOCARD IN ('01', '02', '03')");
    QSqlQuery query(db);
    query.setForwardOnly(true);
    query.prepare(QStringLiteral("SELECT X.CDSERVFILI, X.CDPRODUTO, P.NMPRODUTO, SUM(X.QTPLAN), SUM(X.QTPLAN * COALESCE(K.VRUNITARIO, 0)),"
                                 " SUM(X.QTREAL), SUM(X.QTREAL * COALESCE(K.VRUNITARIO, 0))"
                                 " FROM (SELECT R.CDSERVFILI, I.CDPRODUTO, R.QTREFEPLAN * I.QTPERCAPITA AS QTPLAN, 0 AS QTREAL"
                                 "         FROM REFEPLAN R JOIN ITCARDAPIO I ON I.CDCARDAPIO = R.CDCARDAPIO")
                  + scope.arg(QStringLiteral("R"))
                  + QStringLiteral(" UNION ALL SELECT C.CDSERVFILI, C.CDPRODUTO, 0, C.QTCONSUMIDA FROM CONSREAL C") + scope.arg(QStringLiteral("C"))
                  + QStringLiteral(") X JOIN PRODUTO P ON P.CDPRODUTO = X.CDPRODUTO AND (P.IDESTOCAVEL <> 'S' OR ? = 'S')"
                                   " LEFT JOIN CUSTOPROD K ON K.CDPRODUTO = X.CDPRODUTO AND K.NRTIPOCUSTO = 1"
                                   " GROUP BY X.CDSERVFILI, X.CDPRODUTO, P.NMPRODUTO ORDER BY X.CDSERVFILI, X.CDPRODUTO"));
    for (int part = 0; part < 2; ++part) {
        query.addBindValue(central);
        for (const QString &branch : branches)
            query.addBindValue(branch);
        query.addBindValue(start);
        query.addBindValue(end);
    }
    query.addBindValue(onlyNonStockables ? QStringLiteral("N") : QStringLiteral("S"));
    if (!query.exec()) {
        *error = query.lastError().text();
        return -1;
    }
    qint64 rows = 0;
    while (query.next())
        ++rows;
    return rows;
}

} // namespace bench
