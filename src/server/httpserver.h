#pragma once

#include "server/connectionguard.h"
#include "wire/rpcmessage.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <algorithm>
#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

struct MHD_Daemon;

namespace server {

class CallPool;
class CallRegistry;
class RpcDispatcher;
struct PreparedCall;
class SessionStore;

struct HttpLimits {
    unsigned threads = 4;                   // workers for the preparations
    unsigned quickThreads = 4;              // workers for everything else
    // Sign-ins: at most half the processors hash passwords, and a burst waits in a short queue.
    unsigned signInThreads = std::max(1u, std::thread::hardware_concurrency() / 2);
    unsigned queuedSignIns = 64;
    unsigned httpThreads = 2;               // the HTTP library's own: they only read and answer
    size_t connectionMemory = 64 * 1024;    // per connection; request headers must fit in it
    unsigned timeoutSeconds = 30;           // idle connections are closed after this
    qint64 maxBody = 1024 * 1024;           // request body, declared or chunked
    qint64 callTimeoutMs = 120000;          // a call still running after this is stopped
    GuardLimits guard;
};

// What GET /saude answers: 200 with the body when usable, else 503 with it.
struct HealthAnswer {
    bool usable = false;
    QByteArray body;
};
// Runs on a worker of the quick pool, never on the library's threads.
using HealthCheck = std::function<HealthAnswer()>;

// JSON-RPC over HTTP on libmicrohttpd: POST /rpc/<object> with a bearer token. The library's
// threads only read, check and answer; calls run on two pools of workers (suspending the
// connection until the answer is ready), and each worker keeps its own database connection.
class HttpServer
{
public:
    HttpServer(const RpcDispatcher &dispatcher, const QByteArray &token, const HttpLimits &limits);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // --- TLS ---
    // Serves HTTPS with this certificate chain and key (PEM) when set before start().
    void setTls(const QByteArray &certificatePem, const QByteArray &keyPem);
    bool usesTls() const { return !m_tlsCertificate.isEmpty(); }
    // --- end TLS ---

    // Binds and starts serving; port 0 takes a free port (see port()).
    bool start(const QHostAddress &address, quint16 port, QString *error);
    // Stops accepting, lets the calls under way finish, then stops.
    void stop();
    quint16 port() const { return m_port; }
    // Answers GET /saude without a token; without a check that path is unknown, as any other.
    void setHealthCheck(HealthCheck check) { m_healthCheck = std::move(check); }
    // Operators' sessions: with a store, a bearer that is no shared token is taken as a
    // session token, and the "Sessao" object answers without one (to sign in). Before start().
    void setSessions(const SessionStore *sessions) { m_sessions = sessions; }

    // Behind a reverse proxy at this address, a call's client is the last address the proxy
    // appended to X-Forwarded-For (nginx's $proxy_add_x_forwarded_for); the header of anyone
    // else is ignored. Before start().
    void setTrustedProxy(const QHostAddress &proxy) { m_trustedProxy = proxy; }

    // What the library calls; public for its C callbacks only.
    struct Request;
    int handle(void *connection, const char *method, const char *upload, size_t *uploadSize, void **state);
    ConnectionGuard &guard() { return m_guard; }

private:
    // The headers are in: refuses what needs no body before reading any, else takes the request.
    int acceptHead(void *connection, const char *method, Request *request);
    // A part of the body; past the limits the rest is read and dropped, so the refusal is answered.
    int receiveBody(Request *request, const char *upload, size_t *uploadSize);
    int finishRequest(void *connection, Request *request);
    // The answer of a call that needs no worker: one the dispatcher answered already, a cancel,
    // or one its method's admission answers for; nothing for the others.
    std::optional<wire::RpcResponse> answerAtOnce(const PreparedCall &call, Request *request, const QByteArray &address,
                                                  bool answerAfterSession);
    void runCall(void *connection, Request *request);
    int answerHealth(void *connection, const char *method, Request *request);
    // The client's address (raw bytes): the peer's, or the one a trusted proxy forwards.
    QByteArray clientAddress(void *connection, Request *request) const;
    // Suspends the connection and runs `work` on the pool; its status and body answer the request.
    void answerOnWorker(void *connection, Request *request, CallPool &pool, std::function<std::pair<unsigned, QByteArray>()> work);

    const RpcDispatcher &m_dispatcher;
    QByteArray m_token;
    const SessionStore *m_sessions = nullptr;
    HttpLimits m_limits;
    ConnectionGuard m_guard;
    std::unique_ptr<CallRegistry> m_calls;
    std::mutex m_poolsMutex; // the pools go away at stop while the library may still hand in calls
    std::atomic<bool> m_closing{false};
    struct Pools;
    std::unique_ptr<Pools> m_pools;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
    HealthCheck m_healthCheck;
    QHostAddress m_trustedProxy;
    QByteArray m_tlsCertificate; // PEM, kept for the library while it runs
    QByteArray m_tlsKey;
};

} // namespace server
