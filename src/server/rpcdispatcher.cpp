#include "server/rpcdispatcher.h"

#include "server/callcontext.h"
#include "server/database.h"
#include "server/serverlog.h"
#include "wire/datapacket.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
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

// Texts the database would store other than they came: NUL ends a text in some drivers, and a
// lone UTF-16 surrogate has no UTF-8 form, so it would be stored mangled and never found again.
std::optional<QString> textFault(const QString &text)
{
    if (text.contains(QChar(0)))
        return QStringLiteral(" contém o caractere NUL, que não é aceito.");
    if (!text.isValidUtf16())
        return QStringLiteral(" contém um caractere inválido (metade de um par UTF-16), que não é aceito.");
    return std::nullopt;
}

std::optional<QString> jsonTextFault(const QJsonValue &value)
{
    if (value.isString())
        return textFault(value.toString());
    if (value.isArray()) {
        for (const QJsonValue &element : value.toArray()) {
            if (auto fault = jsonTextFault(element))
                return fault;
        }
    } else if (value.isObject()) {
        const QJsonObject object = value.toObject();
        for (auto it = object.begin(); it != object.end(); ++it) {
            if (auto fault = textFault(it.key()))
                return fault;
            if (auto fault = jsonTextFault(it.value()))
                return fault;
        }
    }
    return std::nullopt;
}

// What the caller is told of a database failure, with the method (%1) and the incident (%2):
// whether trying again can help, and whom to tell.
QString failureMessage(DbFailure kind)
{
    switch (kind) {
    case DbFailure::Full:
        return QStringLiteral("O banco de dados está sem espaço para gravar: %1 não foi concluída e nada foi gravado (ocorrência %2). "
                              "Avise o administrador do servidor; tentar de novo não adianta até que haja espaço.");
    case DbFailure::ReadOnly:
        return QStringLiteral("O banco de dados não está aceitando gravações: %1 não foi concluída e nada foi gravado (ocorrência %2). "
                              "Avise o administrador do servidor.");
    case DbFailure::Constraint:
        return QStringLiteral("Os dados de %1 conflitam com os já gravados, e nada foi gravado (ocorrência %2). "
                              "Tentar de novo não adianta; informe o número ao suporte.");
    case DbFailure::Other:
    case DbFailure::Connection:
    case DbFailure::Busy:
    case DbFailure::Interrupted:
        break;
    }
    return QStringLiteral("Falha no banco de dados ao executar %1 (ocorrência %2). Informe o número ao suporte.");
}

std::optional<CallError> checkArgs(const MethodSpec &method, const QJsonArray &params)
{
    if (params.size() != method.args.size()) {
        return CallError{wire::InvalidParams, QStringLiteral("O método %1 espera %2 argumento(s) e recebeu %3.")
                                                  .arg(method.name)
                                                  .arg(method.args.size())
                                                  .arg(params.size())};
    }
    // \z, not $: a date followed by a line break is no date.
    static const QRegularExpression isoDate(QStringLiteral("\\A[0-9]{4}-[0-9]{2}-[0-9]{2}\\z"));
    for (int i = 0; i < params.size(); ++i) {
        const ArgSpec &expected = method.args[i];
        const QJsonValue value = params[i];
        const QString where = QStringLiteral("Argumento %1 (%2) de %3").arg(i + 1).arg(expected.label, method.name);
        switch (expected.kind) {
        case ArgKind::Text:
            if (value.isNull())
                return CallError{wire::InvalidParams, where + QStringLiteral(" deve ser texto; null não é aceito (envie \"\" para vazio).")};
            if (!value.isString())
                return CallError{wire::InvalidParams, where + QStringLiteral(" deve ser texto.")};
            if (auto fault = textFault(value.toString()))
                return CallError{wire::InvalidParams, where + *fault};
            break;
        case ArgKind::Date:
            if (!value.isString() || !isoDate.match(value.toString()).hasMatch()
                || !QDate::fromString(value.toString(), Qt::ISODate).isValid()) {
                return CallError{wire::InvalidParams, where + QStringLiteral(" deve ser uma data válida no formato AAAA-MM-DD.")};
            }
            break;
        case ArgKind::Any:
            if (auto fault = jsonTextFault(value))
                return CallError{wire::InvalidParams, where + *fault};
            break;
        }
    }
    return std::nullopt;
}

} // namespace

QString PreparedCall::idText() const
{
    if (request.id.isNull() || request.id.isUndefined())
        return {};
    return QString::fromUtf8(QJsonDocument(QJsonArray{request.id}).toJson(QJsonDocument::Compact));
}

PreparedCall RpcDispatcher::prepare(const QString &object, const QByteArray &body) const
{
    PreparedCall call;
    call.object = object;
    auto answer = [&call](const wire::RpcResponse &response) {
        call.kind = PreparedCall::Kind::Answered;
        call.answer = response;
        return call;
    };
    wire::RpcError decodeError;
    const auto request = wire::RpcRequest::decode(body, &decodeError);
    if (!request)
        return answer(wire::RpcResponse::failure(QJsonValue::Null, decodeError.code, decodeError.message));
    call.request = *request;
    call.method = request->method.left(80);

    const auto objectIt = m_objects.constFind(object);
    if (objectIt == m_objects.constEnd())
        return answer(wire::RpcResponse::failure(request->id, wire::ObjectNotFound,
                                                 QStringLiteral("Objeto de servidor desconhecido: %1.").arg(object.left(100))));
    if (request->method == QLatin1String(wire::kPingMethod))
        return answer(wire::RpcResponse::success(request->id, wire::envelope::ok(object)));
    if (request->method == QLatin1String(kCancelMethod)) {
        const QJsonArray &params = request->params;
        if (params.size() != 1 || !(params[0].isString() || params[0].isDouble()))
            return answer(wire::RpcResponse::failure(request->id, wire::InvalidParams,
                                                     QStringLiteral("rpc.cancel espera um argumento: o id (número ou texto) da chamada a cancelar.")));
        call.kind = PreparedCall::Kind::Cancel;
        call.cancelId = QString::fromUtf8(QJsonDocument(QJsonArray{params[0]}).toJson(QJsonDocument::Compact));
        return call;
    }

    const auto methodIt = objectIt->constFind(request->method.toLower());
    if (methodIt == objectIt->constEnd())
        return answer(wire::RpcResponse::failure(request->id, wire::MethodNotFound,
                                                 QStringLiteral("O objeto %1 não tem o método %2.").arg(object, request->method.left(80))));
    call.methodSpec = &*methodIt;
    call.method = methodIt->name;
    if (const auto problem = checkArgs(*methodIt, request->params))
        return answer(wire::RpcResponse::failure(request->id, problem->code, problem->message));
    call.kind = PreparedCall::Kind::Method;
    return call;
}

namespace {
thread_local QString methodHere;

// Names the method on this thread while it runs.
struct RunningMethod {
    explicit RunningMethod(const QString &name) { methodHere = name; }
    ~RunningMethod() { methodHere.clear(); }
};
} // namespace

QString runningMethod()
{
    return methodHere;
}

CallOutcome RpcDispatcher::run(const PreparedCall &call) const
{
    const QJsonValue &id = call.request.id;
    const QString name = call.object + QLatin1Char('.') + call.method;
    const RunningMethod running(call.method);
    auto incident = [&](const QString &detail, const QString &message) {
        const QString number = newIncident();
        logLine(LogLevel::Error, QStringLiteral("ocorrência %1: %2: %3").arg(number, name, detail));
        return CallOutcome{wire::RpcResponse::failure(id, wire::ServerError, message.arg(call.method, number)), number};
    };
    try {
        const CallResult result = call.methodSpec->handler(Args(call.request.params));
        return CallOutcome{wire::RpcResponse::success(id, result.answer, result.vars), {}};
    } catch (const CallError &error) {
        return CallOutcome{wire::RpcResponse::failure(id, error.code, error.message), {}};
    } catch (const DbError &error) {
        // Whatever state the connection was left in (a transaction an interrupt cut short, a
        // file opened read-only), the next call starts on a new one.
        dropThreadConnection();
        const CallContext *context = CallContext::current();
        const StopReason reason = context ? context->stopReason() : StopReason::None;
        if (reason == StopReason::Cancelled || reason == StopReason::ClientGone)
            return CallOutcome{wire::RpcResponse::failure(id, wire::CallCancelled,
                                                          reason == StopReason::Cancelled
                                                              ? QStringLiteral("Chamada %1 cancelada a pedido do cliente.").arg(call.method)
                                                              : QStringLiteral("Chamada %1 cancelada: o cliente desconectou.").arg(call.method)),
                               {}};
        if (reason == StopReason::Deadline || error.kind == DbFailure::Interrupted)
            return incident(error.message, QStringLiteral("A chamada %1 passou do tempo máximo permitido e foi interrompida (ocorrência %2)."));
        if (error.kind == DbFailure::Busy)
            return CallOutcome{wire::RpcResponse::failure(id, wire::ServerBusy, busyMessage()), {}};
        if (error.kind == DbFailure::Connection) {
            // The log keeps the detail; the caller only needs to know that trying again may work.
            logLine(LogLevel::Warning, QStringLiteral("%1: sem banco de dados: %2").arg(name, error.message));
            return CallOutcome{wire::RpcResponse::failure(id, wire::ServerBusy, unavailableMessage()), {}};
        }
        return incident(error.message, failureMessage(error.kind));
    } catch (const std::exception &error) {
        return incident(QString::fromUtf8(error.what()), QStringLiteral("Erro interno do servidor ao executar %1 (ocorrência %2)."));
    } catch (...) {
        return incident(QStringLiteral("exceção desconhecida"), QStringLiteral("Erro interno do servidor ao executar %1 (ocorrência %2)."));
    }
}

wire::RpcResponse RpcDispatcher::dispatch(const QString &object, const QByteArray &body) const
{
    const PreparedCall call = prepare(object, body);
    switch (call.kind) {
    case PreparedCall::Kind::Answered:
        return call.answer;
    case PreparedCall::Kind::Cancel:
        return wire::RpcResponse::success(call.request.id, wire::envelope::ok(0));
    case PreparedCall::Kind::Method:
        break;
    }
    return run(call).response;
}

} // namespace server
