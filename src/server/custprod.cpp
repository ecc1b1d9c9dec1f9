#include "server/custprod.h"

#include "wire/datapacket.h"

namespace server {

QList<MethodSpec> CustProd::methods() const
{
    return {{QStringLiteral("ListaTipoCusto"), {}, [this](const Args &args) { return listaTipoCusto(args); }}};
}

// The cost types in their configured order; the client maps list positions to numbers with it.
CallResult CustProd::listaTipoCusto(const Args &) const
{
    QSqlDatabase db = threadConnection(m_settings);
    QSqlQuery query = exec(db, Sql(QStringLiteral("SELECT NRTIPOCUSTO, NMTIPOCUSTO FROM TIPOCUSTO ORDER BY NRORDEM, NRTIPOCUSTO")),
                           QStringLiteral("ler os tipos de custo"));
    const wire::DataPacket packet = readPacket(db, query, {{QStringLiteral("NRTIPOCUSTO"), QStringLiteral("integer"), 0},
                                                       {QStringLiteral("NMTIPOCUSTO"), QStringLiteral("string"), 40}});
    return CallResult{wire::envelope::ok(packet.toJson()), {}};
}

} // namespace server
