#include "host/network/checkresultserv.h"

#include "host/data/errors.h"

namespace host {

QVariant CheckResultServ(const QVariant &answer, bool raiseOnError, int mode)
{
    if (mode != 0)
        throw HostError(QStringLiteral("Modo %1 de verificação de resposta do servidor não suportado.").arg(mode));
    const QVariantMap envelope = answer.toMap();
    if (answer.typeId() != QMetaType::QVariantMap || !envelope.contains(QStringLiteral("ok")))
        throw ServerError(QStringLiteral("Resposta do servidor de aplicação em formato inesperado."));
    if (envelope.value(QStringLiteral("ok")).toBool())
        return envelope.value(QStringLiteral("data"));
    if (raiseOnError) {
        const QString message = envelope.value(QStringLiteral("message")).toString();
        throw ServerError(message.isEmpty() ? QStringLiteral("O servidor de aplicação recusou a operação.") : message);
    }
    return {};
}

} // namespace host
