#pragma once

#include <QByteArray>
#include <QJsonArray>
#include <QJsonValue>
#include <QMap>
#include <QString>
#include <optional>

// JSON-RPC 2.0 as both programs speak it: one POST /rpc/<server object> per call,
// positional params, and a result {"answer":..., "vars":{"<position>":...}} where vars
// holds the by-reference arguments the server wrote back.
namespace wire {

enum RpcErrorCode {
    ParseError = -32700,
    InvalidRequest = -32600,
    MethodNotFound = -32601,
    InvalidParams = -32602,
    InternalError = -32603,
    ServerError = -32000,
    Unauthorized = -32001,
    ObjectNotFound = -32002,
    RequestTooLarge = -32003,
    ServerBusy = -32004,     // try again: a limit of the server or a database lock
    CallCancelled = -32005,
};

// The port the application server listens on and the client calls, unless configured otherwise.
inline constexpr int kDefaultServerPort = 47011;

// The application server's object for the client's general data (lookups, report rows).
inline constexpr char kGeneralDataObject[] = "Ger00000.rdmDadosGerais";

// Answered by every server object; the client's connect uses it to check address, token and object.
inline constexpr char kPingMethod[] = "rpc.ping";
// Stops the caller's calls under way: params [the JSON-RPC id of the call to stop].
inline constexpr char kCancelMethod[] = "rpc.cancel";

QString rpcPath(const QString &serverObject);
// The server object named by a request path, or nothing when the path is not /rpc/<name>.
std::optional<QString> serverObjectFromPath(const QString &path);

struct RpcError {
    int code = InternalError;
    QString message;
};

struct RpcRequest {
    QJsonValue id = 1;
    QString method;
    QJsonArray params;

    QByteArray encode() const;
    static std::optional<RpcRequest> decode(const QByteArray &body, RpcError *error);
};

struct RpcResponse {
    QJsonValue id;
    std::optional<RpcError> error;
    QJsonValue answer;
    QMap<int, QJsonValue> vars;

    static RpcResponse success(const QJsonValue &id, const QJsonValue &answer, const QMap<int, QJsonValue> &vars = {});
    static RpcResponse failure(const QJsonValue &id, int code, const QString &message);

    QByteArray encode() const;
    // Parses an answer body; on a malformed body returns nothing and says why in *problem.
    static std::optional<RpcResponse> decode(const QByteArray &body, QString *problem);
};

} // namespace wire
