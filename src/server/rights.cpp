#include "server/rights.h"

#include <QSqlQuery>

namespace server {

namespace {

bool limited(const Caller &caller)
{
    return caller.isOperator() && caller.account.role != Role::Administrator;
}

bool school(const Caller &caller)
{
    return caller.isOperator() && caller.account.role == Role::School;
}

QString onlyOwnBranch(const Caller &caller)
{
    return QStringLiteral("O operador %1 só tem acesso aos dados da filial %2.").arg(caller.account.code, caller.account.branch);
}

// Members of groupings the caller may see, as a subquery condition on G (ITGRUPFILI).
Sql visibleMembers(const Caller &caller)
{
    Sql sql(QStringLiteral("SELECT G.CDGRUPFILI FROM ITGRUPFILI G JOIN FILIAL F ON F.CDFILIAL = G.CDFILIAL WHERE "));
    if (school(caller))
        sql.add(QStringLiteral("F.CDFILIAL = ?"), caller.account.branch);
    else
        sql.add(QStringLiteral("F.CDFILCENTZUB = ?"), caller.account.central);
    return sql;
}

} // namespace

QString centralRefusal(const Caller &caller, const QString &central)
{
    if (!limited(caller) || central == caller.account.central)
        return {};
    return QStringLiteral("O operador %1 não tem acesso à central %2; só à central %3.").arg(caller.account.code, central, caller.account.central);
}

QString branchRefusal(const Caller &caller, const QString &branch)
{
    if (!school(caller) || branch == caller.account.branch)
        return {};
    return onlyOwnBranch(caller);
}

QString branchesRefusal(const Caller &caller, const wire::KeySelection &branches)
{
    if (!school(caller))
        return {};
    for (const QString &key : branches.keys) {
        if (key != caller.account.branch)
            return onlyOwnBranch(caller);
    }
    return branches.all ? onlyOwnBranch(caller) : QString();
}

wire::KeySelection allVisibleBranches(const Caller &caller)
{
    if (school(caller))
        return wire::KeySelection{false, {caller.account.branch}};
    return wire::KeySelection::everything();
}

QString serviceKeysRefusal(const Caller &caller, const ServiceKeys &services)
{
    if (!school(caller))
        return {};
    for (const QString &key : services.branchServices) {
        if (!key.startsWith(caller.account.branch))
            return onlyOwnBranch(caller);
    }
    return {};
}

QString groupingRefusal(QSqlDatabase &db, const Caller &caller, const QString &grouping)
{
    if (!limited(caller) || grouping.isEmpty())
        return {};
    const QString what = QStringLiteral("verificar o acesso ao agrupamento");
    QSqlQuery query = exec(db, Sql(visibleMembers(caller)).add(QStringLiteral(" AND G.CDGRUPFILI = ?"), grouping),
                           what);
    if (nextRow(db, query, what))
        return {};
    return QStringLiteral("O operador %1 não tem acesso ao agrupamento %2.").arg(caller.account.code, grouping);
}

void restrictGroupings(Sql &sql, const Caller &caller)
{
    if (limited(caller))
        sql.add(QStringLiteral(" AND CDGRUPFILI IN (")).add(visibleMembers(caller)).add(QStringLiteral(")"));
}

QString operatorArgumentRefusal(const Caller &caller, const QString &operatorCode)
{
    if (!caller.isOperator() || operatorCode.isEmpty() || operatorCode.compare(caller.account.code, Qt::CaseInsensitive) == 0)
        return {};
    return QStringLiteral("O operador informado (%1) não é o da sessão (%2).").arg(operatorCode, caller.account.code);
}

} // namespace server
