#include "server/rpcdispatcher.h"

#include "server/database.h"
#include "wire/datapacket.h"

#include <QRegularExpression>
#include <cstdio>
#include <exception>

namespace server {

QString Args::text(int position) const
{
    return m_values.at(position).toString();
}

QDate Args::date(int position) const
{
    return QDate::fromString(m_values.at(position).toString(), Qt::ISODate);
}

void RpcDispatcher::addObject(const QString &object, const QList<MethodSpec> &methods)
{
    QHash<QString, MethodSpec> &table = m_objects[object];
    for (const MethodSpec &method : methods)
        table.insert(method.name.toLower(), method);
}

namespace {

std::optional<CallError> checkArgs(const MethodSpec &method, const QJsonArray &params)
{
    if (params.size() != method.args.size()) {
        return CallError{wire::InvalidParams, QStringLiteral("O método %1 espera %2 argumento(s) e recebeu %3.")
                                                  .arg(method.name)
                                                  .arg(method.args.size())
                                                  .arg(params.size())};
    }
    static const QRegularExpression isoDate(QStringLiteral("^\\d{4}-\\d{2}-\\d{2}$"));
    for (int i = 0; i < params.size(); ++i) {
        const ArgSpec &expected = method.args[i];
        const QJsonValue value = params[i];
        const QString where = QStringLiteral("Argumento %1 (%2) de %3").arg(i + 1).arg(expected.label, method.name);
        switch (expected.kind) {
        case ArgKind::Text:
            if (!value.isString() && !value.isNull())
                return CallError{wire::InvalidParams, where + QStringLiteral(" deve ser texto.")};
            break;
        case ArgKind::Date:
            if (!value.isString() || !isoDate.match(value.toString()).hasMatch()
                || !QDate::fromString(value.toString(), Qt::ISODate).isValid()) {
                return CallError{wire::InvalidParams, where + QStringLiteral(" deve ser uma data válida no formato AAAA-MM-DD.")};
            }
            break;
        case ArgKind::Any:
            break;
        }
    }
    return std::nullopt;
}

} // namespace

wire::RpcResponse RpcDispatcher::dispatch(const QString &object, const QByteArray &body) const
{
    wire::RpcError decodeError;
    const auto request = wire::RpcRequest::decode(body, &decodeError);
    if (!request)
        return wire::RpcResponse::failure(QJsonValue::Null, decodeError.code, decodeError.message);

    const auto objectIt = m_objects.constFind(object);
    if (objectIt == m_objects.constEnd())
        return wire::RpcResponse::failure(request->id, wire::ObjectNotFound,
                                          QStringLiteral("Objeto de servidor desconhecido: %1.").arg(object));
    if (request->method == QLatin1String(wire::kPingMethod))
        return wire::RpcResponse::success(request->id, wire::envelope::ok(object));

    const auto methodIt = objectIt->constFind(request->method.toLower());
    if (methodIt == objectIt->constEnd())
        return wire::RpcResponse::failure(request->id, wire::MethodNotFound,
                                          QStringLiteral("O objeto %1 não tem o método %2.").arg(object, request->method.left(80)));
    const MethodSpec &method = *methodIt;
    if (const auto problem = checkArgs(method, request->params))
        return wire::RpcResponse::failure(request->id, problem->code, problem->message);

    try {
        const CallResult result = method.handler(Args(request->params));
        return wire::RpcResponse::success(request->id, result.answer, result.vars);
    } catch (const CallError &error) {
        return wire::RpcResponse::failure(request->id, error.code, error.message);
    } catch (const DbError &error) {
        std::fprintf(stderr, "zub-server: %s.%s: %s\n", qPrintable(object), qPrintable(method.name), qPrintable(error.message));
        return wire::RpcResponse::failure(request->id, wire::ServerError, error.message);
    } catch (const std::exception &error) {
        std::fprintf(stderr, "zub-server: %s.%s: %s\n", qPrintable(object), qPrintable(method.name), error.what());
        return wire::RpcResponse::failure(request->id, wire::InternalError,
                                          QStringLiteral("Erro interno do servidor ao executar %1.").arg(method.name));
    }
}

} // namespace server
