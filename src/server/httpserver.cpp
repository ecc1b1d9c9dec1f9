#include "server/httpserver.h"

#include "server/audit.h"
#include "server/callcontext.h"
#include "server/callpool.h"
#include "server/rpcdispatcher.h"
#include "server/serverlog.h"
#include "server/sessions.h"
#include "wire/datapacket.h"
#include "wire/rpcmessage.h"

#include "server/tls.h"

#include <microhttpd.h>

#include <QElapsedTimer>
#include <QRegularExpression>
#include <QThread>
#include <QtEndian>

#include <arpa/inet.h>
#include <cerrno>
#include <condition_variable>
#include <cstring>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

namespace server {

// The workers of each lane.
struct HttpServer::Pools {
    explicit Pools(const HttpLimits &limits) : quick(limits.quickThreads), slow(limits.threads), signIn(limits.signInThreads) {}
    CallPool &of(Lane lane)
    {
        switch (lane) {
        case Lane::Slow: return slow;
        case Lane::SignIn: return signIn;
        case Lane::Quick: break;
        }
        return quick;
    }
    CallPool quick;
    CallPool slow;
    CallPool signIn;
};

struct HttpServer::Request {
    QByteArray rawUri;
    ConnectionGuard::Connection *connection = nullptr;
    bool headDone = false;
    QString object;
    QByteArray bearer;
    Caller::Kind caller = Caller::Kind::Machine;
    QByteArray body;
    qint64 received = 0;
    qint64 reserved = 0; // counted against the memory cap of all bodies
    bool declared = false;
    bool tooLarge = false;
    bool overMemory = false;
    bool submitted = false;
    QElapsedTimer timer;
    // Written by the worker before it resumes the connection.
    std::atomic<bool> answerReady{false};
    unsigned status = MHD_HTTP_OK;
    QByteArray answer;
    bool acceptsDeflate = false; // the client takes a compressed answer
    bool deflated = false;       // the answer is compressed
};

namespace {

bool isJsonBody(const char *contentType)
{
    if (!contentType)
        return false;
    const QByteArray mediaType = QByteArray(contentType).split(';').first().trimmed().toLower();
    return mediaType == "application/json";
}

// An address as the connection guard keeps it: network order, 4 bytes for IPv4 (also when it came
// mapped into IPv6), 16 for IPv6.
QByteArray rawAddress(const QHostAddress &address)
{
    bool isIpv4 = false;
    const quint32 ipv4 = address.toIPv4Address(&isIpv4);
    if (isIpv4) {
        const quint32 bigEndian = qToBigEndian(ipv4);
        return QByteArray(reinterpret_cast<const char *>(&bigEndian), sizeof bigEndian);
    }
    const Q_IPV6ADDR ipv6 = address.toIPv6Address();
    return QByteArray(reinterpret_cast<const char *>(ipv6.c), sizeof ipv6.c);
}

QByteArray rawAddress(const QByteArray &raw)
{
    if (raw.size() != 16)
        return raw;
    return rawAddress(QHostAddress(reinterpret_cast<const quint8 *>(raw.constData())));
}

HttpServer *serverOf(void *cls)
{
    return static_cast<HttpServer *>(cls);
}

// Nothing may unwind into libmicrohttpd's C code: a failure inside one of its callbacks is logged
// and answered with `onFailure` (for the access handler, closing the connection).
template <typename Result, typename Body>
Result atCallbackBoundary(const char *callback, Result onFailure, Body &&body) noexcept
{
    try {
        return body();
    } catch (const std::exception &error) {
        logLine(LogLevel::Error, QStringLiteral("falha em %1: %2").arg(QLatin1String(callback), QString::fromUtf8(error.what())));
    } catch (...) {
        logLine(LogLevel::Error, QStringLiteral("falha em %1: exceção desconhecida").arg(QLatin1String(callback)));
    }
    return onFailure;
}

MHD_Result accessHandler(void *cls, MHD_Connection *connection, const char *, const char *method, const char *,
                         const char *upload, size_t *uploadSize, void **state)
{
    return atCallbackBoundary("pedido HTTP", MHD_NO, [&] {
        return static_cast<MHD_Result>(serverOf(cls)->handle(connection, method, upload, uploadSize, state));
    });
}

// Called once the request line is in, before any header: the raw path, not yet decoded.
void *requestStarted(void *, const char *uri, MHD_Connection *)
{
    return atCallbackBoundary("início do pedido", static_cast<void *>(nullptr), [&] {
        auto *request = new HttpServer::Request;
        request->rawUri = QByteArray(uri);
        return static_cast<void *>(request);
    });
}

void connectionEvent(void *cls, MHD_Connection *connection, void **socketContext, MHD_ConnectionNotificationCode code)
{
    atCallbackBoundary("aviso de conexão", 0, [&] {
        ConnectionGuard &guard = serverOf(cls)->guard();
        if (code == MHD_CONNECTION_NOTIFY_STARTED) {
            const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_CONNECTION_FD);
            *socketContext = info ? guard.opened(info->connect_fd) : nullptr;
        } else {
            guard.closed(static_cast<ConnectionGuard::Connection *>(*socketContext));
            *socketContext = nullptr;
        }
        return 0;
    });
}

ConnectionGuard::Connection *guardedConnection(MHD_Connection *connection)
{
    const MHD_ConnectionInfo *info = MHD_get_connection_info(connection, MHD_CONNECTION_INFO_SOCKET_CONTEXT);
    return info ? static_cast<ConnectionGuard::Connection *>(info->socket_context) : nullptr;
}

// Answers larger than this go compressed to a client that takes it: a year of 300 schools' report
// rows is some 3 MB of JSON, 0.6 MB compressed.
constexpr qsizetype kCompressFrom = 64 * 1024;

bool acceptsDeflate(MHD_Connection *connection)
{
    const char *header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_ACCEPT_ENCODING);
    return header && QByteArray(header).toLower().contains("deflate");
}

int respond(MHD_Connection *connection, unsigned status, const QByteArray &body, const char *allowed = MHD_HTTP_METHOD_POST,
            bool deflated = false)
{
    MHD_Response *response = MHD_create_response_from_buffer(size_t(body.size()), const_cast<char *>(body.constData()),
                                                              MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_TYPE, "application/json; charset=utf-8");
    if (deflated)
        MHD_add_response_header(response, MHD_HTTP_HEADER_CONTENT_ENCODING, "deflate");
    if (status == MHD_HTTP_UNAUTHORIZED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_WWW_AUTHENTICATE, "Bearer");
    if (status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, MHD_HTTP_HEADER_ALLOW, allowed);
    if (status == MHD_HTTP_SERVICE_UNAVAILABLE)
        MHD_add_response_header(response, MHD_HTTP_HEADER_RETRY_AFTER, "1");
    const MHD_Result result = MHD_queue_response(connection, status, response);
    MHD_destroy_response(response);
    return result;
}

int respondError(MHD_Connection *connection, unsigned status, int code, const QString &message, const char *allowed = MHD_HTTP_METHOD_POST)
{
    if (status == MHD_HTTP_SERVICE_UNAVAILABLE)
        logLine(LogLevel::Warning, QStringLiteral("requisição recusada: %1").arg(message));
    else
        logLine(LogLevel::Debug, QStringLiteral("requisição recusada (HTTP %1): %2").arg(status).arg(message));
    return respond(connection, status, wire::RpcResponse::failure(QJsonValue::Null, code, message).encode(), allowed);
}

unsigned statusOf(const wire::RpcResponse &response)
{
    if (response.error && response.error->code == wire::Unauthorized)
        return MHD_HTTP_UNAUTHORIZED;
    return response.error && response.error->code == wire::ServerBusy ? MHD_HTTP_SERVICE_UNAVAILABLE : MHD_HTTP_OK;
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

// The bearer token of the request, or nothing when there is none.
QByteArray bearerOf(MHD_Connection *connection)
{
    const char *header = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_AUTHORIZATION);
    static const QByteArray scheme("Bearer ");
    const QByteArray value(header ? header : "");
    return value.startsWith(scheme) ? value.mid(scheme.size()).trimmed() : QByteArray();
}

// "/rpc/<object>" exactly: no query, no percent-encoding, no other characters than a name has.
std::optional<QString> objectOfPath(const QByteArray &rawUri)
{
    static const QRegularExpression form(QStringLiteral("\\A/rpc/([A-Za-z0-9_][A-Za-z0-9_.-]{0,99})\\z"));
    const auto match = form.match(QString::fromLatin1(rawUri));
    if (!match.hasMatch())
        return std::nullopt;
    return match.captured(1);
}

// One line per call, naming who made it and from where, so a log alone tells an attack's source.
void logCall(const QString &name, const QString &who, const QByteArray &address, const QElapsedTimer &timer, const wire::RpcResponse &response,
             const QString &incident)
{
    if (!logs(LogLevel::Info))
        return;
    QString outcome = QStringLiteral("ok");
    if (response.error) {
        const int code = response.error->code;
        outcome = code == wire::ServerBusy ? QStringLiteral("ocupado")
            : code == wire::CallCancelled  ? QStringLiteral("cancelada")
                                           : QStringLiteral("erro %1").arg(code);
    }
    if (!incident.isEmpty())
        outcome += QStringLiteral(" ocorrência %1").arg(incident);
    logLine(LogLevel::Info, QStringLiteral("%1 %2 ms %3; %4 de %5").arg(name).arg(timer.elapsed()).arg(outcome, who, addressText(address)));
}

// For load balancers and monitoring: no token, no data.
const QByteArray kHealthPath = QByteArrayLiteral("/saude");

const QString kClosing = QStringLiteral("Servidor em encerramento; tente novamente em instantes.");
const QString kTooMuchData = QStringLiteral("Servidor recebendo dados demais no momento; tente novamente em instantes.");

} // namespace

HttpServer::HttpServer(const RpcDispatcher &dispatcher, const QByteArray &token, const HttpLimits &limits)
    : m_dispatcher(dispatcher), m_token(token), m_limits(limits), m_guard(limits.guard), m_calls(std::make_unique<CallRegistry>())
{
}

HttpServer::~HttpServer()
{
    stop();
}

int HttpServer::handle(void *rawConnection, const char *method, const char *upload, size_t *uploadSize, void **state)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    auto *request = static_cast<Request *>(*state);
    if (!request) {
        request = new Request;
        *state = request;
    }
    if (!request->headDone)
        return acceptHead(connection, method, request);
    if (*uploadSize > 0)
        return receiveBody(request, upload, uploadSize);
    return finishRequest(connection, request);
}

int HttpServer::acceptHead(void *rawConnection, const char *method, Request *request)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    request->headDone = true;
    request->timer.start();
    request->connection = guardedConnection(connection);
    m_guard.headReceived(request->connection);
    if (m_closing)
        return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, kClosing);
    if (m_healthCheck && request->rawUri == kHealthPath)
        return answerHealth(connection, method, request);
    if (std::strcmp(method, MHD_HTTP_METHOD_POST) != 0)
        return respondError(connection, MHD_HTTP_METHOD_NOT_ALLOWED, wire::InvalidRequest,
                            QStringLiteral("Use POST /rpc/<objeto> para chamar o servidor de aplicação."));
    const auto object = objectOfPath(request->rawUri);
    if (!object)
        return respondError(connection, MHD_HTTP_NOT_FOUND, wire::InvalidRequest,
                            QStringLiteral("Caminho desconhecido: use POST /rpc/<objeto>, sem consulta nem caracteres codificados."));
    // Only a JSON body: a browser cannot send one to another site without asking first, so a
    // page on the office network cannot make a colleague's browser call the server.
    if (!isJsonBody(MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_TYPE)))
        return respondError(connection, MHD_HTTP_UNSUPPORTED_MEDIA_TYPE, wire::InvalidRequest,
                            QStringLiteral("Envie o corpo da chamada como application/json (cabeçalho Content-Type)."));
    request->bearer = bearerOf(connection);
    request->acceptsDeflate = acceptsDeflate(connection);
    // Sessions: the shared token is a machine; a session token is checked on a worker,
    // which reads the database; signing in needs no token.
    if (sameSecret(request->bearer, m_token))
        request->caller = Caller::Kind::Machine;
    else if (m_sessions && SessionStore::looksLikeToken(request->bearer))
        request->caller = Caller::Kind::Operator;
    else if (m_sessions && request->bearer.isEmpty() && *object == QLatin1String(kSessionObject))
        request->caller = Caller::Kind::Anonymous;
    else
        return respondError(connection, MHD_HTTP_UNAUTHORIZED, wire::Unauthorized,
                            QStringLiteral("Credencial de acesso (token) ausente ou inválida."));
    if (!m_dispatcher.hasObject(*object))
        return respondError(connection, MHD_HTTP_NOT_FOUND, wire::ObjectNotFound,
                            QStringLiteral("Objeto de servidor desconhecido: %1.").arg(*object));
    if (const char *length = MHD_lookup_connection_value(connection, MHD_HEADER_KIND, MHD_HTTP_HEADER_CONTENT_LENGTH)) {
        bool ok = false;
        const qint64 declared = QByteArray(length).toLongLong(&ok);
        if (!ok || declared < 0 || declared > m_limits.maxBody)
            return respondError(connection, MHD_HTTP_CONTENT_TOO_LARGE, wire::RequestTooLarge,
                                QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(m_limits.maxBody));
        if (!m_guard.reserveBody(declared))
            return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, kTooMuchData);
        request->reserved = declared;
        request->declared = true;
        request->body.reserve(declared);
    }
    request->object = *object;
    return MHD_YES;
}

int HttpServer::receiveBody(Request *request, const char *upload, size_t *uploadSize)
{
    // Chunked bodies declare no length: count what arrives. Past a limit the rest is read
    // and dropped so the refusal can still be answered; a sender that keeps going is cut off.
    const qint64 size = qint64(*uploadSize);
    request->received += size;
    if (request->received > m_limits.maxBody)
        request->tooLarge = true;
    if (!request->declared && !request->tooLarge && !request->overMemory) {
        if (m_guard.reserveBody(size))
            request->reserved += size;
        else
            request->overMemory = true;
    }
    if (request->tooLarge || request->overMemory) {
        request->body = QByteArray();
    } else {
        request->body.append(upload, qsizetype(size));
    }
    *uploadSize = 0;
    return request->received > 4 * m_limits.maxBody ? MHD_NO : MHD_YES;
}

int HttpServer::finishRequest(void *rawConnection, Request *request)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    if (request->answerReady.load(std::memory_order_acquire)) {
        m_guard.answered(request->connection);
        return respond(connection, request->status, request->answer, MHD_HTTP_METHOD_POST, request->deflated);
    }
    if (request->submitted)
        return MHD_YES;
    if (request->tooLarge)
        return respondError(connection, MHD_HTTP_CONTENT_TOO_LARGE, wire::RequestTooLarge,
                            QStringLiteral("Requisição maior que o limite de %1 bytes.").arg(m_limits.maxBody));
    if (request->overMemory)
        return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, kTooMuchData);

    PreparedCall call = m_dispatcher.prepare(request->object, request->body);
    // The parsed request is all a call needs from now on.
    request->body = QByteArray();
    m_guard.releaseBody(request->reserved);
    request->reserved = 0;

    const QString name = request->object + QLatin1Char('.') + call.method;
    // A session's ping is answered only once the session is known to be live.
    const bool answerAfterSession = call.kind == PreparedCall::Kind::Answered && request->caller == Caller::Kind::Operator;
    const QByteArray address = clientAddress(connection, request);
    // Until its session is checked, an operator's call is only known as a session's.
    const QString who = request->caller == Caller::Kind::Operator ? QStringLiteral("(sessão)") : auditedName(Caller{request->caller, {}, {}});
    if (const std::optional<wire::RpcResponse> answer = answerAtOnce(call, request, address, answerAfterSession)) {
        logCall(name, who, address, request->timer, *answer, {});
        m_guard.answered(request->connection);
        return respond(connection, statusOf(*answer), answer->encode());
    }
    std::lock_guard pools(m_poolsMutex);
    if (m_closing)
        return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, kClosing);
    if (call.lane() == Lane::SignIn && m_pools->signIn.pending() >= m_limits.queuedSignIns)
        return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, busyMessage());
    request->submitted = true;
    auto context = std::make_shared<CallContext>(m_limits.callTimeoutMs);
    context->setPeer(address);
    const QString id = call.idText();
    const QString key = id.isEmpty() ? QString() : CallRegistry::keyOf(request->object, request->bearer, id);
    if (!key.isEmpty())
        m_calls->add(key, context);
    m_guard.waitingForAnswer(request->connection, context);
    CallPool &pool = m_pools->of(call.lane());
    answerOnWorker(connection, request, pool, [this, request, context, key, name, who, call = std::move(call)] {
        logLine(LogLevel::Debug, QStringLiteral("%1 iniciada").arg(name));
        CallOutcome outcome;
        QString caller = who;
        {
            CallContext::Scope running(context.get());
            std::optional<Caller> verified = Caller{request->caller, {}, {}};
            if (request->caller == Caller::Kind::Operator) {
                SessionStore::Verdict verdict = m_sessions->check(request->bearer);
                verified = std::move(verdict.caller);
                if (!verified)
                    outcome = CallOutcome{wire::RpcResponse::failure(call.request.id, verdict.errorCode, verdict.message), verdict.incident};
            }
            if (verified)
                caller = auditedName(*verified);
            if (verified && call.kind == PreparedCall::Kind::Answered) {
                outcome.response = call.answer;
            } else if (verified) {
                Caller::Scope as(*verified);
                outcome = m_dispatcher.run(call);
            }
        }
        if (!key.isEmpty())
            m_calls->remove(key, context);
        logCall(name, caller, context->peer(), request->timer, outcome.response, outcome.incident);
        return std::pair{statusOf(outcome.response), outcome.response.encode()};
    });
    return MHD_YES;
}

std::optional<wire::RpcResponse> HttpServer::answerAtOnce(const PreparedCall &call, Request *request, const QByteArray &address,
                                                         bool answerAfterSession)
{
    if (call.kind == PreparedCall::Kind::Answered && !answerAfterSession)
        return call.answer;
    if (call.kind == PreparedCall::Kind::Cancel) {
        const int stopped = m_calls->cancel(CallRegistry::keyOf(request->object, request->bearer, call.cancelId));
        return wire::RpcResponse::success(call.request.id, wire::envelope::ok(stopped));
    }
    if (call.kind == PreparedCall::Kind::Method && call.methodSpec->admit) {
        if (const std::optional<QJsonValue> answer = call.methodSpec->admit(Args(call.request.params), address))
            return wire::RpcResponse::success(call.request.id, *answer);
    }
    return std::nullopt;
}

QByteArray HttpServer::clientAddress(void *rawConnection, Request *request) const
{
    const QByteArray peer = rawAddress(m_guard.addressOf(request->connection));
    if (m_trustedProxy.isNull() || peer != rawAddress(m_trustedProxy))
        return peer;
    // A proxy adds a header line of its own (HAProxy's option forwardfor) or appends to the last:
    // the last entry of the last line is the proxy's, everything before it the client's own say.
    QByteArray forwarded;
    MHD_get_connection_values(
        static_cast<MHD_Connection *>(rawConnection), MHD_HEADER_KIND,
        [](void *last, MHD_ValueKind, const char *key, const char *value) -> MHD_Result {
            if (key && value && qstricmp(key, "X-Forwarded-For") == 0)
                *static_cast<QByteArray *>(last) = value;
            return MHD_YES;
        },
        &forwarded);
    if (forwarded.isEmpty())
        return peer;
    const QHostAddress client(QString::fromLatin1(forwarded.split(',').last().trimmed()));
    return client.isNull() ? peer : rawAddress(client);
}

void HttpServer::answerOnWorker(void *rawConnection, Request *request, CallPool &pool, std::function<std::pair<unsigned, QByteArray>()> work)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    MHD_suspend_connection(connection);
    pool.submit([connection, request, work = std::move(work)] {
        // The connection is resumed whatever happens here: a suspended one would never be answered.
        try {
            auto [status, answer] = work();
            request->status = status;
            // On the worker, not on the library's thread that answers every connection. Qt's
            // compressed form is a zlib stream (HTTP's "deflate") behind a 4-byte length.
            if (request->acceptsDeflate && answer.size() > kCompressFrom) {
                answer = qCompress(answer, 1).mid(4);
                request->deflated = true;
            }
            request->answer = std::move(answer);
        } catch (...) {
            logLine(LogLevel::Error, QStringLiteral("falha ao preparar a resposta de um pedido"));
            request->status = MHD_HTTP_INTERNAL_SERVER_ERROR;
            request->answer = QByteArray();
        }
        request->answerReady.store(true, std::memory_order_release);
        MHD_resume_connection(connection);
    });
}

// ---- GET /saude ----
int HttpServer::answerHealth(void *rawConnection, const char *method, Request *request)
{
    auto *connection = static_cast<MHD_Connection *>(rawConnection);
    if (std::strcmp(method, MHD_HTTP_METHOD_GET) != 0)
        return respondError(connection, MHD_HTTP_METHOD_NOT_ALLOWED, wire::InvalidRequest,
                            QStringLiteral("Use GET /saude para saber se o servidor está em condições de atender."), MHD_HTTP_METHOD_GET);
    std::lock_guard pools(m_poolsMutex);
    if (m_closing)
        return respondError(connection, MHD_HTTP_SERVICE_UNAVAILABLE, wire::ServerBusy, kClosing);
    request->submitted = true;
    // The database check may wait for a connection: on a quick worker, never on the library's threads.
    answerOnWorker(connection, request, m_pools->quick, [this, request] {
        const HealthAnswer health = m_healthCheck();
        logLine(LogLevel::Debug, QStringLiteral("/saude %1 ms %2").arg(request->timer.elapsed()).arg(health.usable ? QStringLiteral("ok") : QStringLiteral("indisponível")));
        return std::pair{health.usable ? unsigned(MHD_HTTP_OK) : unsigned(MHD_HTTP_SERVICE_UNAVAILABLE), health.body};
    });
    return MHD_YES;
}
// ---- end of GET /saude ----

namespace {

void requestCompleted(void *cls, MHD_Connection *, void **state, MHD_RequestTerminationCode)
{
    auto *request = static_cast<HttpServer::Request *>(*state);
    *state = nullptr;
    if (!request)
        return;
    atCallbackBoundary("fim do pedido", 0, [&] {
        ConnectionGuard &guard = serverOf(cls)->guard();
        guard.releaseBody(request->reserved);
        if (request->headDone)
            guard.requestDone(request->connection);
        return 0;
    });
    delete request;
}

} // namespace

namespace {

// After the calls' time limit, the time the last answers have to go out, and the time the
// pools and the library have to stop, before the process is ended without them.
constexpr qint64 kLastAnswersMs = 2000;
constexpr qint64 kLibraryStopMs = 5000;
constexpr int kStopTimedOutExitCode = 3;

// Ends the process unless it is destroyed before `ms` have passed: a thread of the library that
// never returns must not keep alive a server that was told to end.
class StopDeadline
{
public:
    explicit StopDeadline(qint64 ms) : m_watch([this, ms] { watch(ms); }) {}
    ~StopDeadline()
    {
        {
            std::lock_guard lock(m_mutex);
            m_stopped = true;
        }
        m_wake.notify_one();
        m_watch.join();
    }
    StopDeadline(const StopDeadline &) = delete;
    StopDeadline &operator=(const StopDeadline &) = delete;

private:
    void watch(qint64 ms)
    {
        std::unique_lock lock(m_mutex);
        if (m_wake.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_stopped; }))
            return;
        logLine(LogLevel::Error, QStringLiteral("o servidor HTTP não parou em %1 s depois do pedido de término; processo encerrado à força.")
                                     .arg(ms / 1000));
        ::_exit(kStopTimedOutExitCode);
    }

    std::mutex m_mutex;
    std::condition_variable m_wake;
    bool m_stopped = false;
    std::thread m_watch; // last: it starts once the members it uses are ready
};

// A socket listening on the address and port (0: a free one), or the reason it cannot be had.
std::optional<int> openListenSocket(const QHostAddress &address, quint16 port, QString *error)
{
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
    const int listenSocket = ::socket(v6 ? AF_INET6 : AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (listenSocket < 0) {
        *error = QStringLiteral("Não foi possível criar o socket: %1.").arg(QString::fromLocal8Bit(std::strerror(errno)));
        return std::nullopt;
    }
    const int on = 1;
    ::setsockopt(listenSocket, SOL_SOCKET, SO_REUSEADDR, &on, sizeof on);
    if (v6)
        ::setsockopt(listenSocket, IPPROTO_IPV6, IPV6_V6ONLY, &on, sizeof on);
    if (::bind(listenSocket, reinterpret_cast<sockaddr *>(&storage), length) != 0 || ::listen(listenSocket, 256) != 0) {
        *error = QStringLiteral("Não foi possível escutar em %1:%2: %3.")
                     .arg(address.toString()).arg(port).arg(QString::fromLocal8Bit(std::strerror(errno)));
        ::close(listenSocket);
        return std::nullopt;
    }
    return listenSocket;
}

quint16 boundPort(int socket)
{
    sockaddr_storage bound{};
    socklen_t boundLength = sizeof bound;
    ::getsockname(socket, reinterpret_cast<sockaddr *>(&bound), &boundLength);
    return ntohs(bound.ss_family == AF_INET6 ? reinterpret_cast<sockaddr_in6 *>(&bound)->sin6_port
                                             : reinterpret_cast<sockaddr_in *>(&bound)->sin_port);
}

} // namespace

bool HttpServer::start(const QHostAddress &address, quint16 port, QString *error)
{
    QString why;
    const std::optional<int> opened = openListenSocket(address, port, &why);
    const int listenSocket = opened.value_or(-1);
    auto fail = [&](const QString &reason) {
        if (listenSocket >= 0)
            ::close(listenSocket);
        if (error)
            *error = reason;
        return false;
    };
    if (!opened)
        return fail(why);
    m_port = boundPort(listenSocket);
    const QString where = QStringLiteral("%1:%2").arg(address.toString()).arg(port);

    // The connections the guard hands over are TLS ones when a certificate is set.
    QString tlsError;
    std::optional<TlsDaemonOptions> tls = tlsDaemonOptions(m_tlsCertificate, m_tlsKey, &tlsError);
    if (!tls)
        return fail(tlsError);
    m_pools = std::make_unique<Pools>(m_limits);
    // The guard accepts and counts the connections, and its limits must be the only ones met:
    // libmicrohttpd 0.9.75 splits its own limit evenly over its threads, gives an added socket to
    // a thread by the socket's number (so one thread may get them all), and a thread that meets
    // its share while taking an added connection in keeps a lock for good and serves no one again.
    // So each thread's share is all the guard ever hands over.
    m_daemon = MHD_start_daemon(MHD_USE_AUTO_INTERNAL_THREAD | MHD_ALLOW_SUSPEND_RESUME | MHD_USE_NO_LISTEN_SOCKET | tls->flag, 0, nullptr,
                                nullptr, &accessHandler, this,
                                MHD_OPTION_THREAD_POOL_SIZE, m_limits.httpThreads,
                                MHD_OPTION_CONNECTION_LIMIT, m_limits.httpThreads * m_limits.guard.handedOverCap(),
                                MHD_OPTION_CONNECTION_MEMORY_LIMIT, m_limits.connectionMemory,
                                MHD_OPTION_CONNECTION_TIMEOUT, m_limits.timeoutSeconds,
                                MHD_OPTION_NOTIFY_COMPLETED, &requestCompleted, this,
                                MHD_OPTION_NOTIFY_CONNECTION, &connectionEvent, this,
                                MHD_OPTION_URI_LOG_CALLBACK, &requestStarted, this,
                                MHD_OPTION_ARRAY, tls->items,
                                MHD_OPTION_END);
    if (!m_daemon) {
        m_pools.reset();
        return fail(QStringLiteral("Não foi possível iniciar o servidor HTTP em %1.").arg(where));
    }
    m_guard.start(listenSocket, [this](int socket, const sockaddr *peer, socklen_t peerLength) {
        return MHD_add_connection(m_daemon, socket, peer, peerLength) == MHD_YES;
    });
    return true;
}

void HttpServer::setTls(const QByteArray &certificatePem, const QByteArray &keyPem)
{
    m_tlsCertificate = certificatePem;
    m_tlsKey = keyPem;
}

void HttpServer::stop()
{
    if (!m_daemon)
        return;
    const StopDeadline deadline(m_limits.callTimeoutMs + kLibraryStopMs);
    m_guard.stopAccepting();
    // The calls under way finish and are answered; then nothing new is taken.
    QElapsedTimer waited;
    waited.start();
    while (m_guard.requestsUnderWay() > 0 && !waited.hasExpired(m_limits.callTimeoutMs))
        QThread::msleep(20);
    std::unique_ptr<Pools> pools;
    {
        std::lock_guard lock(m_poolsMutex);
        m_closing = true;
        pools = std::move(m_pools);
    }
    pools.reset();
    waited.restart();
    while (m_guard.requestsUnderWay() > 0 && !waited.hasExpired(kLastAnswersMs))
        QThread::msleep(20);
    MHD_stop_daemon(m_daemon);
    m_daemon = nullptr;
    m_guard.stop();
}

} // namespace server
