#pragma once

#include "server/database.h"
#include "server/rpcdispatcher.h"

namespace server {

inline constexpr int kFilterNameMaxLength = 60;

// Filters an operator saved under a name (table FILTROSALVO), served on the report's object
// beside its other methods, and the central's school years (ANOLETIVO) that resolve the period
// "ano letivo". An operator sees its own filters and those shared within its central, never
// another central's; only the owner overwrites or deletes one. A saved filter belongs to an
// operator, so the shared machine token has none.
//   ListaFiltros()                      packet NMFILTRO, CDOPERADOR, NMOPERADOR, IDCOMPARTILHADO,
//                                       IDPROPRIO, DTALTERACAO: own ones first, then shared, by name
//   LeFiltro(nome, dono)                {"nome","dono","compartilhado","filtros":{...}}; dono ""
//                                       takes the caller's own, else the one shared under that name
//   SalvaFiltro(nome, filtros, "S"|"N") inserts or replaces the caller's own; answers ""; a name
//                                       another operator shares in the central is not shared again
//   ApagaFiltro(nome)                   deletes the caller's own; answers ""
//   GetAnoLetivo(central)               packet NRANO, DTINICIO, DTFIM of the central, by year
class SavedFilters
{
public:
    explicit SavedFilters(const DbSettings &settings) : m_settings(settings) {}

    QList<MethodSpec> methods() const;

    CallResult list(const Args &args) const;
    CallResult read(const Args &args) const;
    CallResult save(const Args &args) const;
    CallResult remove(const Args &args) const;
    CallResult schoolYears(const Args &args) const;

private:
    DbSettings m_settings;
};

} // namespace server
