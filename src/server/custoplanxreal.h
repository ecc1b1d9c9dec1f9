#pragma once

#include "server/database.h"
#include "server/rpcdispatcher.h"
#include "wire/codes.h"

namespace server {

inline constexpr char kCustoPlanXRealObject[] = "Zub01100.rdmCustoPlanXReal";

using wire::kNumberWidth;

// The remote data module of the planned-versus-actual cost report: branch, grouping and
// service lookups, the preparation of the consolidated plan and the stored key lists.
class CustoPlanXReal
{
public:
    explicit CustoPlanXReal(const DbSettings &settings) : m_settings(settings) {}

    QList<MethodSpec> methods() const;

    CallResult getFiliAgreg(const Args &args) const;
    CallResult getAgrupFili(const Args &args) const;
    CallResult getServico(const Args &args) const;
    CallResult execStpConsPlan(const Args &args) const;
    CallResult getListas(const Args &args) const;
    CallResult delConsPlan(const Args &args) const;
    CallResult deletaListas(const Args &args) const;
    CallResult getMotivoVazio(const Args &args) const;

private:
    DbSettings m_settings;
};

} // namespace server
