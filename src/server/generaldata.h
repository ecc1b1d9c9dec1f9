#pragma once

#include "server/database.h"
#include "server/reportqueries.h"
#include "server/rpcdispatcher.h"

namespace server {


// What the client's host once read from the general database itself: the lookups of its screens,
// its local cache of FILIAL and the rows of the report layouts, each within the caller's rights.
// The client names what it wants; the SQL is the server's own.
class GeneralData
{
public:
    GeneralData(const DbSettings &settings, const QString &reportsFolder) : m_settings(settings), m_reports(reportsFolder) {}

    QList<MethodSpec> methods() const;
    // AbreConsulta(name, parameters): the rows of a named lookup.
    CallResult openLookup(const Args &args) const;
    // DadosRelatorio(report code, layout file, query, parameters): the rows of one layout query.
    CallResult reportRows(const Args &args) const;

private:
    DbSettings m_settings;
    ReportQueries m_reports;
};

} // namespace server
