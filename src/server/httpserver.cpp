#include "server/httpserver.h"

#include "server/rpcdispatcher.h"
#include "wire/rpcmessage.h"

#include <microhttpd.h>

#include <arpa/inet.h>
#include <cerrno>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server {

struct HttpServer::Request {
    QString object;
    QByteArray body;
    qint64 received = 0;
    bool tooLarge = false;
};

namespace {

MHD_Result accessHandler(void *cls, MHD_Connection *connection, const char *url, const char *method, const char *,
                         const char *upload, size_t *uploadSize, void **state)
{
    return static_cast<MHD_Result>(static_cast<HttpServer *>(cls)->handle(connection, url, method, upload, uploadSize, state));
}

void requestCompleted(void *, MHD_Connection *, void **state, MHD_RequestTerminationCode)
{
    delete static_cast<HttpServer::Request *>(*state);
    *state = nullptr;
}

int respond(MHD_Connection *connection, unsigned status, const QByteArray &body)
{
    MHD_Response *response = MHD_create_response_from_buffer(size_t(body.size()), const_cast<char *>(body.constData()),
                                                              MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json; charset=utf-8");
    if (status == MHD_HTTP_UNAUTHORIZED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, "POST");
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

int respondError(MHD_Connection *connection, unsigned status, int code, const QString &message)
{
    return respond(connection, status, wire::RpcResponse::failure(QJsonValue::Null, code, message).encode());
}

// Compares without an early exit, so the time taken says nothing about the token.
bool sameSecret(const QByteArray &given, const QByteArray &expected)
{
    if (expected.isEmpty())
        return false;
    unsigned char difference = given.size() == expected.size() ? 0 : 1;
    for (qsizetype i = 0; i < given.size(); ++i)
        difference |= static_cast<unsigned char>(given[i] ^ expected[i % expected.size()]);
    return difference == 0;
}

} // namespace

HttpServer::HttpServer(const RpcDispatcher &dispatcher, const QByteArray &token, const HttpLimits &limits)
    : m_dispatcher(dispatcher), m_token(token), m_limits(limits)
{
}

HttpServer::~HttpServer()
{
    stop();
}

bool HttpServer::authorized(void *connection) const
{
    const char *header = MHD_lookup_connection_value(static_cast<MHD_Connection *>(connection), MHD_HEADER_KIND,
                                                     MHD_HTTP_HEADER_AUTHORIZATION);
    if (!header)
        return false;
    const QByteArray value(header);
    static const QByteArray scheme("Bearer ");
    if (!value.startsWith(scheme))
        return false;
    return sameSecret(value.mid(scheme.size()).trimmed(), m_token);
}

int HttpServer::handle(void *rawConnection, const char *url, const char *method, const char *upload, size_t *uploadSize, void **state)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    auto *request = static_cast<Request *>(*state);
    if (!request) {
        // Headers are in; refuse what needs no body before reading any.
        if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0)
            return respondError(connection, MHD_HTTP_METHOD_NOT_ALLOWED, wire::InvalidRequest,
                                QStringLiteral("Use POST /rpc/<objeto> para chamar o servidor de aplicação."));
        const auto object = wire::serverObjectFromPath(QString::fromUtf8(url));
        if (!object)
            return respondError(connection, MHD_HTTP_NOT_FOUND, wire::InvalidRequest,
                                QStringLiteral("Caminho desconhecido: use POST /rpc/<objeto>."));
        if (!authorized(connection))
            return respondError(connection, MHD_HTTP_UNAUTHORIZED, wire::Unauthorized,
                                QStringLiteral("Credencial de acesso (token) ausente ou inválida."));
        if (!m_dispatcher.hasObject(*object))
            return respondError(connection, MHD_HTTP_NOT_FOUND, wire::ObjectNotFound,
                                QStringLiteral("Objeto de servidor desconhecido: %1.").arg(object->left(100)));
        if (const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
            bool ok = false;
            const qint64 declared = QByteArray(length).toLongLong(&ok);
            if (!ok || declared > m_limits.maxBody)
                return respondError(connection, MHD_HTTP_CONTENT_TOO_LARGE, wire::RequestTooLarge,
                                    QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(m_limits.maxBody));
        }
        request = new Request;
        request->object = *object;
        *state = request;
        return MHD_YES;
    }

    if (*uploadSize > 0) {
        // Chunked bodies declare no length: count what arrives. Past the limit the rest is read
        // and dropped so the refusal can still be answered; a sender that keeps going is cut off.
        request->received += qint64(*uploadSize);
        if (request->received > m_limits.maxBody)
            request->tooLarge = true;
        if (!request->tooLarge)
            request->body.append(upload, qsizetype(*uploadSize));
        else
            request->body.clear();
        *uploadSize = 0;
        return request->received > 4 * m_limits.maxBody ? MHD_NO : MHD_YES;
    }

    if (request->tooLarge)
        return respondError(connection, MHD_HTTP_CONTENT_TOO_LARGE, wire::RequestTooLarge,
                            QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(m_limits.maxBody));
    return respond(connection, MHD_HTTP_OK, m_dispatcher.dispatch(request->object, request->body).encode());
}

bool HttpServer::start(const QHostAddress &address, quint16 port, QString *error)
{
    auto fail = [&](const QString &why) {
        if (m_socket >= 0)
            ::close(m_socket);
        m_socket = -1;
        if (error)
            *error = why;
        return false;
    };
    const bool v6 = address.protocol() == QAbstractSocket::IPv6Protocol;
    sockaddr_storage storage{};
    socklen_t length = 0;
    if (v6) {
        auto *in6 = reinterpret_cast<sockaddr_in6 *>(&storage);
        in6->sin6_family = AF_INET6;
        in6->sin6_port = htons(port);
        const Q_IPV6ADDR bytes = address.toIPv6Address();
        std::memcpy(&in6->sin6_addr, &bytes, sizeof bytes);
        length = sizeof(sockaddr_in6);
    } else {
        auto *in4 = reinterpret_cast<sockaddr_in *>(&storage);
        in4->sin_family = AF_INET;
        in4->sin_port = htons(port);
        in4->sin_addr.s_addr = htonl(address.toIPv4Address());
        length = sizeof(sockaddr_in);
    }
    const QString where = QStringLiteral("%1:%2").arg(address.toString()).arg(port);
    m_socket = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (m_socket < 0)
        return fail(QStringLiteral("Não foi possível criar o socket: %1.").arg(QString::fromLocal8Bit(std::strerror(errno))));
    const int on = 1;
    ::setsockopt(m_socket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (v6)
        ::setsockopt(m_socket, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(m_socket, reinterpret_cast<sockaddr *>(&storage), length) != 0)
        return fail(QStringLiteral("Não foi possível escutar em %1: %2.").arg(where, QString::fromLocal8Bit(std::strerror(errno))));
    if (::listen(m_socket, 128) != 0)
        return fail(QStringLiteral("Não foi possível escutar em %1: %2.").arg(where, QString::fromLocal8Bit(std::strerror(errno))));
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(m_socket, reinterpret_cast<sockaddr *>(&bound), &boundLength);
    m_port = ntohs(v6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);

    m_daemon = MHD_start_daemon(MHD_USE_AUTO_INTERNAL_THREAD, 0, nullptr, nullptr, &accessHandler, this,
                                MHD_OPTION_LISTEN_SOCKET, m_socket,
                                MHD_OPTION_THREAD_POOL_SIZE, m_limits.threads,
                                MHD_OPTION_CONNECTION_LIMIT, m_limits.maxConnections,
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, m_limits.connectionMemory,
                                MHD_OPTION_CONNECTION_TIMEOUT, m_limits.timeoutSeconds,
                                MHD_OPTION_NOTIFY_COMPLETED, &requestCompleted, nullptr,
                                MHD_OPTION_END);
    if (!m_daemon)
        return fail(QStringLiteral("Não foi possível iniciar o servidor HTTP em %1.").arg(where));
    return true;
}

void HttpServer::stop()
{
    if (m_daemon) {
        MHD_stop_daemon(m_daemon); // closes the listening socket too
        m_daemon = nullptr;
        m_socket = -1;
    }
}

} // namespace server
