#pragma once

#include <QByteArray>
#include <QHostAddress>
#include <QString>

struct MHD_Daemon;

namespace server {

class RpcDispatcher;

struct HttpLimits {
    unsigned threads = 4;                   // libmicrohttpd's worker pool
    unsigned maxConnections = 256;
    size_t connectionMemory = 64 * 1024;    // per connection; request headers must fit in it
    unsigned timeoutSeconds = 30;           // idle connections are closed after this
    qint64 maxBody = 1024 * 1024;           // request body, declared or chunked
};

// JSON-RPC over HTTP on libmicrohttpd: POST /rpc/<object> with a bearer token. Requests run on
// the library's worker threads; each thread keeps its own database connection.
class HttpServer
{
public:
    HttpServer(const RpcDispatcher &dispatcher, const QByteArray &token, const HttpLimits &limits);
    ~HttpServer();
    HttpServer(const HttpServer &) = delete;
    HttpServer &operator=(const HttpServer &) = delete;

    // Binds and starts serving; port 0 takes a free port (see port()).
    bool start(const QHostAddress &address, quint16 port, QString *error);
    void stop();
    quint16 port() const { return m_port; }

    // What the library calls; public for its C callbacks only.
    struct Request;
    int handle(void *connection, const char *url, const char *method, const char *upload, size_t *uploadSize, void **state);

private:
    bool authorized(void *connection) const;

    const RpcDispatcher &m_dispatcher;
    QByteArray m_token;
    HttpLimits m_limits;
    MHD_Daemon *m_daemon = nullptr;
    int m_socket = -1;
    quint16 m_port = 0;
};

} // namespace server
