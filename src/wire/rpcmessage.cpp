#include "wire/rpcmessage.h"

#include <QJsonDocument>
#include <QJsonObject>

namespace wire {

static const QString kRpcPrefix = QStringLiteral("/rpc/");

QString rpcPath(const QString &serverObject)
{
    return kRpcPrefix + serverObject;
}

std::optional<QString> serverObjectFromPath(const QString &path)
{
    if (!path.startsWith(kRpcPrefix))
        return std::nullopt;
    const QString name = path.mid(kRpcPrefix.size());
    if (name.isEmpty() || name.contains(QLatin1Char('/')))
        return std::nullopt;
    return name;
}

QByteArray RpcRequest::encode() const
{
    const QJsonObject object{{"jsonrpc", "2.0"}, {"id", id}, {"method", method}, {"params", params}};
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<RpcRequest> RpcRequest::decode(const QByteArray &body, RpcError *error)
{
    auto fail = [error](int code, const QString &message) -> std::optional<RpcRequest> {
        if (error)
            *error = RpcError{code, message};
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError)
        return fail(ParseError, QStringLiteral("Requisição com JSON inválido: %1.").arg(parseError.errorString()));
    if (!document.isObject())
        return fail(InvalidRequest, QStringLiteral("A requisição deve ser um objeto JSON-RPC."));
    const QJsonObject object = document.object();
    if (object.value("jsonrpc").toString() != QLatin1String("2.0"))
        return fail(InvalidRequest, QStringLiteral("A requisição deve declarar \"jsonrpc\": \"2.0\"."));
    if (!object.value("method").isString() || object.value("method").toString().isEmpty())
        return fail(InvalidRequest, QStringLiteral("A requisição não informa o método."));
    const QJsonValue params = object.value("params");
    if (!params.isUndefined() && !params.isArray())
        return fail(InvalidParams, QStringLiteral("Os argumentos (\"params\") devem ser uma lista posicional."));
    const QJsonValue id = object.value("id");
    if (!id.isUndefined() && !id.isDouble() && !id.isString() && !id.isNull())
        return fail(InvalidRequest, QStringLiteral("O \"id\" da requisição deve ser número ou texto."));

    RpcRequest request;
    request.id = id.isUndefined() ? QJsonValue(QJsonValue::Null) : id;
    request.method = object.value("method").toString();
    request.params = params.toArray();
    return request;
}

RpcResponse RpcResponse::success(const QJsonValue &id, const QJsonValue &answer, const QMap<int, QJsonValue> &vars)
{
    RpcResponse response;
    response.id = id;
    response.answer = answer;
    response.vars = vars;
    return response;
}

RpcResponse RpcResponse::failure(const QJsonValue &id, int code, const QString &message)
{
    RpcResponse response;
    response.id = id;
    response.error = RpcError{code, message};
    return response;
}

QByteArray RpcResponse::encode() const
{
    QJsonObject object{{"jsonrpc", "2.0"}, {"id", id.isUndefined() ? QJsonValue(QJsonValue::Null) : id}};
    if (error) {
        object.insert("error", QJsonObject{{"code", error->code}, {"message", error->message}});
    } else {
        QJsonObject jsonVars;
        for (auto it = vars.begin(); it != vars.end(); ++it)
            jsonVars.insert(QString::number(it.key()), it.value());
        object.insert("result", QJsonObject{{"answer", answer}, {"vars", jsonVars}});
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

std::optional<RpcResponse> RpcResponse::decode(const QByteArray &body, QString *problem)
{
    auto fail = [problem](const QString &text) -> std::optional<RpcResponse> {
        if (problem)
            *problem = text;
        return std::nullopt;
    };
    QJsonParseError parseError;
    const QJsonDocument document = QJsonDocument::fromJson(body, &parseError);
    if (parseError.error != QJsonParseError::NoError || !document.isObject())
        return fail(QStringLiteral("a resposta não é um objeto JSON"));
    const QJsonObject object = document.object();

    RpcResponse response;
    response.id = object.value("id");
    if (object.contains("error")) {
        const QJsonObject error = object.value("error").toObject();
        if (!error.value("message").isString())
            return fail(QStringLiteral("erro sem mensagem na resposta"));
        response.error = RpcError{error.value("code").toInt(InternalError), error.value("message").toString()};
        return response;
    }
    if (!object.value("result").isObject())
        return fail(QStringLiteral("a resposta não traz \"result\" nem \"error\""));
    const QJsonObject result = object.value("result").toObject();
    if (!result.contains("answer"))
        return fail(QStringLiteral("a resposta não traz \"answer\""));
    response.answer = result.value("answer");
    const QJsonValue vars = result.value("vars");
    if (!vars.isUndefined() && !vars.isObject())
        return fail(QStringLiteral("\"vars\" da resposta não é um objeto"));
    const QJsonObject varsObject = vars.toObject();
    for (auto it = varsObject.begin(); it != varsObject.end(); ++it) {
        bool isNumber = false;
        const int position = it.key().toInt(&isNumber);
        if (!isNumber || position < 0)
            return fail(QStringLiteral("posição inválida em \"vars\": %1").arg(it.key()));
        response.vars.insert(position, it.value());
    }
    return response;
}

} // namespace wire
