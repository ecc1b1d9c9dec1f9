#pragma once

#include "server/database.h"
#include "server/rpcdispatcher.h"

namespace server {

inline constexpr char kCustProdObject[] = "Cus00000.rdmCustProd";

// The cost module's remote data module; the report only needs its list of cost types.
class CustProd
{
public:
    explicit CustProd(const DbSettings &settings) : m_settings(settings) {}

    QList<MethodSpec> methods() const;
    CallResult listaTipoCusto(const Args &args) const;

private:
    DbSettings m_settings;
};

} // namespace server
