#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QString>

#include <atomic>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include <sys/socket.h>

namespace server {

class CallContext;

struct GuardLimits {
    unsigned maxConnections = 256;
    unsigned perAddress = 128;          // connections from one address
    qint64 headTimeoutMs = 10000;       // request line and headers, from connect or the previous answer
    qint64 bodyTimeoutMs = 20000;       // the body, from the end of the headers
    qint64 bodiesMemory = 64LL << 20;   // bodies of all requests in flight together

    // Sockets handed to the HTTP library and not yet closed by it: the connections, and at most
    // as many again shut down to make room that the library has not closed yet.
    unsigned handedOverCap() const { return 2 * maxConnections; }
};

// Accepts the connections itself, so that over a limit it can answer at once with a 503 that
// says why, instead of the HTTP library closing them silently; the others go to the library.
// A watchdog thread closes connections whose head or body is late, and stops the call of a
// connection whose client went away while it waited for its answer.
class ConnectionGuard
{
public:
    // Takes an accepted socket; false when the HTTP library refused it (it closed it already).
    using Handoff = std::function<bool(int socket, const sockaddr *address, socklen_t length)>;

    explicit ConnectionGuard(const GuardLimits &limits) : m_limits(limits) {}
    ~ConnectionGuard();
    ConnectionGuard(const ConnectionGuard &) = delete;
    ConnectionGuard &operator=(const ConnectionGuard &) = delete;

    void start(int listenSocket, Handoff handoff);
    void stopAccepting();
    void stop();

    struct Connection;
    // From the HTTP library's notifications, on its threads.
    Connection *opened(int socket);
    void closed(Connection *connection);
    void headReceived(Connection *connection);
    void waitingForAnswer(Connection *connection, const std::shared_ptr<CallContext> &call);
    void answered(Connection *connection);
    void requestDone(Connection *connection);
    // The peer's address, as the per-address limit counts it (raw bytes).
    QByteArray addressOf(const Connection *connection) const;
    // Requests past their head and not yet answered.
    int requestsUnderWay() const;

    // The memory of request bodies in flight: false when `bytes` more would pass the cap.
    bool reserveBody(qint64 bytes);
    void releaseBody(qint64 bytes);

private:
    void acceptLoop();
    void watchLoop();
    // Closes connections past their deadline; collects the calls whose client left or whose time is up.
    void inspect(std::vector<std::shared_ptr<CallContext>> *gone, std::vector<std::shared_ptr<CallContext>> *late);
    void refuse(int socket, const QString &why);
    // With the table full: closes the connection that has waited longest for a request head,
    // so a new client is not kept out by sockets held open; false when none waits for one.
    bool evictOldestIdleLocked();
    bool underPressureLocked() const;
    // Takes a connection out of the tables and frees it.
    void forgetLocked(Connection *connection);

    GuardLimits m_limits;
    Handoff m_handoff;
    int m_listen = -1;
    int m_wake[2] = {-1, -1};
    std::thread m_acceptor;
    std::thread m_watchdog;
    std::atomic<bool> m_stopping{false};
    std::atomic<bool> m_accepting{false};
    std::atomic<qint64> m_bodies{0};

    mutable std::mutex m_mutex; // guards the tables below and every use of a connection's socket
    QHash<int, Connection *> m_bySocket;
    QHash<QByteArray, unsigned> m_perAddress;
    int m_underWay = 0;
    int m_evicting = 0; // shut down to make room, not yet closed by the library
    std::vector<std::pair<int, QElapsedTimer>> m_refused; // 503 sent, draining the request until closed
};

} // namespace server
