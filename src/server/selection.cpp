#include "server/selection.h"

namespace server {

void restrictBranches(Sql &sql, const QString &central, const wire::KeySelection &branches, const QString &grouping)
{
    sql.add(QStringLiteral(" AND F.CDFILCENTZUB = ?"), central);
    if (!branches.all)
        sql.add(QStringLiteral(" AND ")).in(QStringLiteral("F.CDFILIAL"), branches.keys);
    if (!grouping.isEmpty())
        sql.add(QStringLiteral(" AND EXISTS (SELECT 1 FROM ITGRUPFILI G WHERE G.CDGRUPFILI = ? AND G.CDFILIAL = F.CDFILIAL)"), grouping);
}

void restrictServices(Sql &sql, const QString &alias, const ServiceKeys &services)
{
    if (services.all)
        return;
    sql.add(QStringLiteral(" AND ("))
        .in(alias + QStringLiteral(".CDSERVFILI"), services.services)
        .add(QStringLiteral(" OR "))
        .in(alias + QStringLiteral(".CDFILIAL || ") + alias + QStringLiteral(".CDSERVFILI"), services.branchServices)
        .add(QStringLiteral(")"));
}

void restrictKeys(Sql &sql, const QString &column, const wire::KeySelection &selection)
{
    if (!selection.all)
        sql.add(QStringLiteral(" AND ")).in(column, selection.keys);
}

} // namespace server
