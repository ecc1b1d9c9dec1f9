#pragma once

#include "server/connectionguard.h"

#include <QByteArray>
#include <QHostAddress>
#include <QString>

#include <atomic>
#include <memory>
#include <mutex>

struct MHD_Daemon;

namespace server {

class CallPool;
class CallRegistry;
class RpcDispatcher;
class SessionStore;

struct HttpLimits {
    unsigned threads = 4;                   // workers for the preparations
    unsigned quickThreads = 4;              // workers for everything else
    unsigned httpThreads = 2;               // the HTTP library's own: they only read and answer
    size_t connectionMemory = 64 * 1024;    // per connection; request headers must fit in it
    unsigned timeoutSeconds = 30;           // idle connections are closed after this
    qint64 maxBody = 1024 * 1024;           // request body, declared or chunked
    qint64 callTimeoutMs = 120000;          // a call still running after this is stopped
    GuardLimits guard;
};

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

    // Binds and starts serving; port 0 takes a free port (see port()).
    bool start(const QHostAddress &address, quint16 port, QString *error);
    // Stops accepting, lets the calls under way finish, then stops.
    void stop();
    quint16 port() const { return m_port; }
    // Operators' sessions: with a store, a bearer that is no shared token is taken as a
    // session token, and the "Sessao" object answers without one (to sign in). Before start().
    void setSessions(const SessionStore *sessions) { m_sessions = sessions; }

    // What the library calls; public for its C callbacks only.
    struct Request;
    int handle(void *connection, const char *method, const char *upload, size_t *uploadSize, void **state);
    ConnectionGuard &guard() { return m_guard; }

private:
    int finishRequest(void *connection, Request *request);
    void runCall(void *connection, Request *request);

    const RpcDispatcher &m_dispatcher;
    QByteArray m_token;
    const SessionStore *m_sessions = nullptr;
    HttpLimits m_limits;
    ConnectionGuard m_guard;
    std::unique_ptr<CallRegistry> m_calls;
    std::mutex m_poolsMutex; // the pools go away at stop while the library may still hand in calls
    std::atomic<bool> m_closing{false};
    std::unique_ptr<CallPool> m_quick;
    std::unique_ptr<CallPool> m_slow;
    MHD_Daemon *m_daemon = nullptr;
    quint16 m_port = 0;
};

} // namespace server
