#include "support/recordingserver.h"

#include "wire/datapacket.h"
#include "wire/rpcmessage.h"

#include <QJsonDocument>
#include <QMutexLocker>
#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>
#include <stdexcept>

namespace {

struct RequestState {
    QByteArray body;
};

MHD_Result handleRequest(void *self, MHD_Connection *connection, const char *url, const char *, const char *,
                         const char *uploadData, size_t *uploadSize, void **state);

} // namespace

RecordingServer::RecordingServer()
{
    sockaddr_in loopback{};
    loopback.sin_family = AF_INET;
    loopback.sin_port = 0;
    loopback.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    m_daemon = MHD_start_daemon(MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_ERROR_LOG, 0, nullptr, nullptr,
                                &handleRequest, this, MHD_OPTION_SOCK_ADDR, &loopback, MHD_OPTION_END);
    if (!m_daemon)
        throw std::runtime_error("recording server did not start");
    const union MHD_DaemonInfo *info = MHD_get_daemon_info(m_daemon, MHD_DAEMON_INFO_BIND_PORT);
    m_port = info ? info->port : 0;
}

RecordingServer::~RecordingServer()
{
    if (m_daemon)
        MHD_stop_daemon(m_daemon);
}

void RecordingServer::on(const QString &method, Handler handler)
{
    QMutexLocker lock(&m_mutex);
    m_handlers.insert(method, std::move(handler));
}

void RecordingServer::on(const QString &method, const Reply &reply)
{
    on(method, [reply](const Call &) { return reply; });
}

QList<RecordingServer::Call> RecordingServer::calls() const
{
    QMutexLocker lock(&m_mutex);
    return m_calls;
}

QStringList RecordingServer::methodsCalled() const
{
    QStringList methods;
    for (const Call &call : calls()) {
        if (call.method != QLatin1String(wire::kPingMethod))
            methods.append(call.method);
    }
    return methods;
}

void RecordingServer::clear()
{
    QMutexLocker lock(&m_mutex);
    m_calls.clear();
}

RecordingServer::Reply RecordingServer::envelope(const QJsonValue &data)
{
    Reply reply;
    reply.answer = wire::envelope::ok(data);
    return reply;
}

RecordingServer::Reply RecordingServer::refusal(const QString &message)
{
    Reply reply;
    reply.answer = wire::envelope::fail(message);
    return reply;
}

RecordingServer::Reply RecordingServer::dispatch(const Call &call)
{
    Handler handler;
    {
        QMutexLocker lock(&m_mutex);
        m_calls.append(call);
        handler = m_handlers.value(call.method);
    }
    if (handler)
        return handler(call);
    if (call.method == QLatin1String(wire::kPingMethod))
        return envelope(call.object);
    Reply reply;
    reply.errorCode = wire::MethodNotFound;
    reply.errorMessage = QStringLiteral("Método %1 não existe em %2.").arg(call.method, call.object);
    return reply;
}

namespace {

MHD_Result handleRequest(void *self, MHD_Connection *connection, const char *url, const char *, const char *,
                         const char *uploadData, size_t *uploadSize, void **state)
{
    auto *server = static_cast<RecordingServer *>(self);
    if (!*state) {
        *state = new RequestState;
        return MHD_YES;
    }
    auto *request = static_cast<RequestState *>(*state);
    if (*uploadSize > 0) {
        request->body.append(uploadData, qsizetype(*uploadSize));
        *uploadSize = 0;
        return MHD_YES;
    }

    RecordingServer::Call call;
    call.object = wire::serverObjectFromPath(QString::fromUtf8(url)).value_or(QString());
    const char *authorization = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "Authorization");
    call.authorization = QString::fromUtf8(authorization ? authorization : "");
    wire::RpcError error;
    const auto rpc = wire::RpcRequest::decode(request->body, &error);
    delete request;
    *state = nullptr;

    RecordingServer::Reply reply;
    QJsonValue id = QJsonValue::Null;
    if (!rpc) {
        reply.errorCode = error.code;
        reply.errorMessage = error.message;
    } else if (call.authorization != QStringLiteral("Bearer ") + server->token()) {
        reply.httpStatus = 401;
        reply.errorCode = wire::Unauthorized;
        reply.errorMessage = QStringLiteral("Credencial recusada.");
        id = rpc->id;
    } else {
        id = rpc->id;
        call.id = rpc->id;
        call.method = rpc->method;
        call.params = rpc->params;
        reply = server->dispatch(call);
    }

    QByteArray body = reply.rawBody;
    if (body.isEmpty()) {
        const wire::RpcResponse rpcResponse = reply.errorCode != 0
            ? wire::RpcResponse::failure(id, reply.errorCode, reply.errorMessage)
            : wire::RpcResponse::success(id, reply.answer, reply.vars);
        body = rpcResponse.encode();
    }
    MHD_Response *response = MHD_create_response_from_buffer(size_t(body.size()), body.data(), MHD_RESPMEM_MUST_COPY);
    MHD_add_response_header(response, "Content-Type", "application/json");
    const int status = reply.httpStatus;
    const MHD_Result result = MHD_queue_response(connection, unsigned(status), response);
    MHD_destroy_response(response);
    return result;
}

} // namespace
