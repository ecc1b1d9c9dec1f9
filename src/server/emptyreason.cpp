#include "server/emptyreason.h"

#include "server/reportdata.h"
#include "server/selection.h"

namespace server {

namespace {

enum class Narrowing { Central, Branches, MenuTypes, Services, ProductKind };

// A day-by-day table and its monthly sums, with the column that names a product (directly or
// through a menu's ingredients).
struct Source {
    QString days;
    QString months;
    QString productTest; // "%1" is the kind test on P.IDESTOCAVEL
};

const QList<Source> &sources()
{
    static const QList<Source> list = {
        {QStringLiteral("REFEPLAN"), QStringLiteral("REFEPLANMES"),
         QStringLiteral(" AND EXISTS (SELECT 1 FROM ITCARDAPIO I JOIN PRODUTO P ON P.CDPRODUTO = I.CDPRODUTO"
                        " WHERE I.CDCARDAPIO = X.CDCARDAPIO AND P.IDESTOCAVEL %1)")},
        {QStringLiteral("CONSREAL"), QStringLiteral("CONSREALMES"),
         QStringLiteral(" AND EXISTS (SELECT 1 FROM PRODUTO P WHERE P.CDPRODUTO = X.CDPRODUTO AND P.IDESTOCAVEL %1)")},
    };
    return list;
}

// Lists are read through their key (NRLISTA, CDCHAVE): a list the statistics have not seen yet
// cannot turn into a whole-list scan for every row tested.
void restrict(Sql &sql, const ReportRunScope &scope, Narrowing upTo, const QString &productTest)
{
    sql.add(QStringLiteral(" AND X.CDFILIAL IN (SELECT F.CDFILIAL FROM FILIAL F WHERE 1 = 1"));
    restrictBranches(sql, scope.central, scope.visibleBranches);
    sql.add(QStringLiteral(")"));
    const auto inList = [&](const QString &condition, const QString &number) {
        sql.add(condition).bind(number).bind(scope.owner);
    };
    if (upTo >= Narrowing::Branches)
        inList(QStringLiteral(" AND X.CDFILIAL IN (SELECT L.CDCHAVE FROM LISTA L WHERE L.NRLISTA = ? AND L.IDTIPOLISTA = 'F' AND L.CDDONO = ?)"),
               scope.branchList);
    if (upTo >= Narrowing::MenuTypes)
        inList(QStringLiteral(" AND X.CDTIPOCARD IN (SELECT L.CDCHAVE FROM LISTA L WHERE L.NRLISTA = ? AND L.IDTIPOLISTA = 'T' AND L.CDDONO = ?)"),
               scope.menuTypeList);
    if (upTo >= Narrowing::Services)
        inList(QStringLiteral(" AND EXISTS (SELECT 1 FROM LISTA L WHERE L.NRLISTA = ? AND L.IDTIPOLISTA = 'S' AND L.CDDONO = ?"
                              " AND L.CDCHAVE = X.CDFILIAL || X.CDSERVFILI AND L.CDFILIAL = X.CDFILIAL AND L.CDSERVFILI = X.CDSERVFILI)"),
               scope.serviceList);
    if (upTo >= Narrowing::ProductKind)
        sql.add(productTest.arg(scope.stockables ? QStringLiteral("= 'S'") : QStringLiteral("<> 'S'")));
}

// Whether anything was planned or consumed in the period within the filters up to `upTo`.
bool anythingWithin(QSqlDatabase &db, const ReportRunScope &scope, Narrowing upTo)
{
    const PeriodParts parts = wire::splitByMonth(scope.start, scope.end);
    for (const Source &source : sources()) {
        auto found = [&](const QString &table, const QString &dateColumn, const QDate &from, const QDate &to) {
            Sql sql(QStringLiteral("SELECT 1 FROM %1 X WHERE X.%2 BETWEEN ? AND ?").arg(table, dateColumn));
            sql.bind(from).bind(to);
            restrict(sql, scope, upTo, source.productTest);
            sql.add(QStringLiteral(" LIMIT 1"));
            const QString what = QStringLiteral("procurar o motivo do relatório vazio");
            QSqlQuery found = exec(db, sql, what);
            return nextRow(db, found, what);
        };
        if (parts.firstMonth.isValid() && found(source.months, QStringLiteral("DTMES"), parts.firstMonth, parts.lastMonth))
            return true;
        for (const auto &[from, to] : parts.days) {
            if (found(source.days, QStringLiteral("DTREFEICAO"), from, to))
                return true;
        }
    }
    return false;
}

} // namespace

QString emptyReportReason(QSqlDatabase &db, const ReportRunScope &scope)
{
    if (!scope.stockables && !scope.nonStockables)
        return QStringLiteral("Nenhum tipo de produto foi escolhido (estocáveis ou não estocáveis).");
    const QString period = QStringLiteral("de %1 a %2").arg(scope.start.toString(QStringLiteral("dd/MM/yyyy")),
                                                            scope.end.toString(QStringLiteral("dd/MM/yyyy")));
    QList<QPair<Narrowing, QString>> steps = {
        {Narrowing::Central, QStringLiteral("Nenhuma filial da central tem refeições planejadas ou consumo registrado %1.").arg(period)},
        {Narrowing::Branches, QStringLiteral("Nenhuma refeição planejada nem consumo registrado %1 nas filiais escolhidas.").arg(period)},
        {Narrowing::MenuTypes, QStringLiteral("Os tipos de cardápio escolhidos não têm refeições %1 nas filiais escolhidas.").arg(period)},
        {Narrowing::Services, QStringLiteral("Os serviços escolhidos não foram servidos %1 nas filiais escolhidas.").arg(period)},
    };
    if (scope.stockables != scope.nonStockables)
        steps.append({Narrowing::ProductKind, scope.stockables
                                                  ? QStringLiteral("Só os produtos estocáveis foram escolhidos, e nenhum foi planejado nem consumido %1.").arg(period)
                                                  : QStringLiteral("Só os produtos não estocáveis foram escolhidos, e nenhum foi planejado nem consumido %1.").arg(period)});
    for (const auto &[narrowing, reason] : steps) {
        if (!anythingWithin(db, scope, narrowing))
            return reason;
    }
    return {};
}

} // namespace server
