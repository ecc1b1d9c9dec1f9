#include "server/connectionguard.h"

#include "server/callcontext.h"
#include "server/rpcdispatcher.h"
#include "server/serverlog.h"
#include "wire/rpcmessage.h"

#include <cerrno>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <unistd.h>

namespace server {

enum class Phase { Head, Body, Working, Answering };

struct ConnectionGuard::Connection {
    int socket = -1;
    QByteArray address;
    bool claimed = false; // the HTTP library announced it, and will announce its end
    bool evicted = false; // shut down to make room for a new client
    Phase phase = Phase::Head;
    QElapsedTimer since;
    std::shared_ptr<CallContext> call;
};

namespace {

QByteArray addressKey(const sockaddr_storage &address)
{
    if (address.ss_family == AF_INET6) {
        const auto &in6 = reinterpret_cast<const sockaddr_in6 &>(address);
        return QByteArray(reinterpret_cast<const char *>(&in6.sin6_addr), sizeof in6.sin6_addr);
    }
    const auto &in4 = reinterpret_cast<const sockaddr_in &>(address);
    return QByteArray(reinterpret_cast<const char *>(&in4.sin_addr), sizeof in4.sin_addr);
}

// A whole HTTP answer, written straight to a socket the HTTP library never saw.
QByteArray serviceUnavailable(const QString &why)
{
    const QByteArray body = wire::RpcResponse::failure(QJsonValue::Null, wire::ServerBusy, why).encode();
    return "HTTP/1.1 503 Service Unavailable\r\nContent-Type: application/json; charset=utf-8\r\nRetry-After: 1\r\n"
           "Connection: close\r\nContent-Length: "
        + QByteArray::number(body.size()) + "\r\n\r\n" + body;
}

constexpr int kWatchIntervalMs = 100;
// With the table this full, a connection gets this long for its request head.
constexpr qint64 kHeadTimeoutUnderPressureMs = 1000;
constexpr int kDrainMs = 2000;
constexpr size_t kMaxDraining = 256;

} // namespace

ConnectionGuard::~ConnectionGuard()
{
    stop();
}

void ConnectionGuard::start(int listenSocket, Handoff handoff)
{
    m_listen = listenSocket;
    m_handoff = std::move(handoff);
    if (::pipe2(m_wake, O_CLOEXEC | O_NONBLOCK) != 0)
        m_wake[0] = m_wake[1] = -1;
    m_accepting = true;
    m_acceptor = std::thread([this] { acceptLoop(); });
    m_watchdog = std::thread([this] { watchLoop(); });
}

void ConnectionGuard::stopAccepting()
{
    if (!m_accepting.exchange(false))
        return;
    if (m_wake[1] >= 0) {
        const char byte = 1;
        [[maybe_unused]] const auto written = ::write(m_wake[1], &byte, 1);
    }
    if (m_acceptor.joinable())
        m_acceptor.join();
    if (m_listen >= 0)
        ::close(m_listen);
    m_listen = -1;
}

void ConnectionGuard::stop()
{
    stopAccepting();
    m_stopping = true;
    if (m_watchdog.joinable())
        m_watchdog.join();
    for (int &fd : m_wake) {
        if (fd >= 0)
            ::close(fd);
        fd = -1;
    }
}

void ConnectionGuard::acceptLoop()
{
    while (m_accepting) {
        std::vector<pollfd> fds{{m_listen, POLLIN, 0}, {m_wake[0], POLLIN, 0}};
        for (const auto &[fd, age] : m_refused)
            fds.push_back({fd, POLLIN, 0});
        if (::poll(fds.data(), nfds_t(fds.size()), m_refused.empty() ? -1 : 200) < 0 && errno != EINTR)
            break;
        // Refused sockets are read until the client closes, so the 503 is not lost to a reset.
        for (size_t i = 2; i < fds.size(); ++i) {
            auto &[fd, age] = m_refused[i - 2];
            char buffer[4096];
            const bool finished = (fds[i].revents != 0 && ::recv(fd, buffer, sizeof buffer, MSG_DONTWAIT) <= 0) || age.hasExpired(kDrainMs);
            if (finished) {
                ::close(fd);
                fd = -1;
            }
        }
        std::erase_if(m_refused, [](const auto &entry) { return entry.first < 0; });
        if (!(fds[0].revents & POLLIN))
            continue;
        sockaddr_storage address{};
        socklen_t length = sizeof address;
        const int socket = ::accept4(m_listen, reinterpret_cast<sockaddr *>(&address), &length, SOCK_NONBLOCK | SOCK_CLOEXEC);
        if (socket < 0)
            continue;
        const QByteArray key = addressKey(address);
        QString refusal;
        auto *connection = new Connection;
        {
            std::lock_guard lock(m_mutex);
            // The number was free again, so the library closed that socket: one it announces is
            // forgotten before it closes it, so this one it closed unannounced, having failed to
            // take it in.
            if (Connection *stale = m_bySocket.value(socket); stale && !stale->claimed)
                forgetLocked(stale);
            if (m_perAddress.value(key) >= m_limits.perAddress)
                refusal = QStringLiteral("Conexões demais a partir deste endereço; tente novamente em instantes.");
            else if (unsigned(m_bySocket.size()) >= m_limits.handedOverCap()
                     || (unsigned(m_bySocket.size() - m_evicting) >= m_limits.maxConnections && !evictOldestIdleLocked()))
                refusal = QStringLiteral("Servidor com conexões demais no momento; tente novamente em instantes.");
            if (refusal.isEmpty()) {
                connection->socket = socket;
                connection->address = key;
                connection->since.start();
                m_bySocket.insert(socket, connection);
                ++m_perAddress[key];
            }
        }
        if (!refusal.isEmpty()) {
            delete connection;
            refuse(socket, refusal);
            continue;
        }
        if (!m_handoff(socket, reinterpret_cast<sockaddr *>(&address), length)) {
            std::lock_guard lock(m_mutex);
            if (!connection->claimed)
                forgetLocked(connection);
        }
    }
    for (const auto &[fd, age] : m_refused)
        ::close(fd);
    m_refused.clear();
}

bool ConnectionGuard::evictOldestIdleLocked()
{
    Connection *oldest = nullptr;
    for (Connection *connection : std::as_const(m_bySocket)) {
        if (connection->claimed && !connection->evicted && connection->phase == Phase::Head
            && (!oldest || connection->since.elapsed() > oldest->since.elapsed()))
            oldest = connection;
    }
    if (!oldest)
        return false;
    logLine(LogLevel::Debug, QStringLiteral("conexão fechada: a mais antiga sem pedido, para dar lugar a outra"));
    oldest->evicted = true;
    ++m_evicting;
    // The library sees the end of the stream and frees the slot.
    ::shutdown(oldest->socket, SHUT_RDWR);
    return true;
}

bool ConnectionGuard::underPressureLocked() const
{
    return unsigned(m_bySocket.size()) * 4 >= m_limits.maxConnections * 3;
}

void ConnectionGuard::refuse(int socket, const QString &why)
{
    logLine(LogLevel::Warning, QStringLiteral("conexão recusada: %1").arg(why));
    const QByteArray answer = serviceUnavailable(why);
    [[maybe_unused]] const auto sent = ::send(socket, answer.constData(), size_t(answer.size()), MSG_NOSIGNAL | MSG_DONTWAIT);
    ::shutdown(socket, SHUT_WR);
    if (m_refused.size() >= kMaxDraining) {
        ::close(socket);
        return;
    }
    QElapsedTimer age;
    age.start();
    m_refused.emplace_back(socket, age);
}

ConnectionGuard::Connection *ConnectionGuard::opened(int socket)
{
    std::lock_guard lock(m_mutex);
    Connection *connection = m_bySocket.value(socket);
    if (connection)
        connection->claimed = true;
    return connection;
}

void ConnectionGuard::closed(Connection *connection)
{
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    forgetLocked(connection);
}

void ConnectionGuard::forgetLocked(Connection *connection)
{
    if (connection->phase != Phase::Head)
        --m_underWay;
    if (connection->evicted)
        --m_evicting;
    m_bySocket.remove(connection->socket);
    if (--m_perAddress[connection->address] == 0)
        m_perAddress.remove(connection->address);
    delete connection;
}

void ConnectionGuard::headReceived(Connection *connection)
{
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    if (connection->phase == Phase::Head)
        ++m_underWay;
    connection->phase = Phase::Body;
    connection->since.start();
}

void ConnectionGuard::waitingForAnswer(Connection *connection, const std::shared_ptr<CallContext> &call)
{
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    connection->phase = Phase::Working;
    connection->call = call;
}

void ConnectionGuard::answered(Connection *connection)
{
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    connection->phase = Phase::Answering;
    connection->call.reset();
}

void ConnectionGuard::requestDone(Connection *connection)
{
    if (!connection)
        return;
    std::lock_guard lock(m_mutex);
    if (connection->phase != Phase::Head)
        --m_underWay;
    connection->phase = Phase::Head;
    connection->call.reset();
    connection->since.start();
}

int ConnectionGuard::requestsUnderWay() const
{
    std::lock_guard lock(m_mutex);
    return m_underWay;
}

bool ConnectionGuard::reserveBody(qint64 bytes)
{
    qint64 current = m_bodies.load();
    do {
        if (current + bytes > m_limits.bodiesMemory)
            return false;
    } while (!m_bodies.compare_exchange_weak(current, current + bytes));
    return true;
}

void ConnectionGuard::releaseBody(qint64 bytes)
{
    m_bodies -= bytes;
}

void ConnectionGuard::watchLoop()
{
    while (!m_stopping) {
        std::this_thread::sleep_for(std::chrono::milliseconds(kWatchIntervalMs));
        std::vector<std::shared_ptr<CallContext>> gone, late;
        inspect(&gone, &late);
        // Outside the lock: a PostgreSQL cancel request is a round trip to the database.
        for (const auto &call : gone)
            call->stop(StopReason::ClientGone);
        for (const auto &call : late)
            call->stop(StopReason::Deadline);
    }
}

void ConnectionGuard::inspect(std::vector<std::shared_ptr<CallContext>> *gone, std::vector<std::shared_ptr<CallContext>> *late)
{
    std::lock_guard lock(m_mutex);
    // Many open connections may be held on purpose: idle ones then get less time.
    const qint64 headLimit = underPressureLocked() ? qMin(m_limits.headTimeoutMs, kHeadTimeoutUnderPressureMs) : m_limits.headTimeoutMs;
    // Sockets are only touched under the lock, which the library's close notification also takes
    // before the socket is closed: a socket number is never reused under our feet.
    for (Connection *connection : std::as_const(m_bySocket)) {
        if (!connection->claimed || connection->phase == Phase::Answering)
            continue;
        pollfd p{connection->socket, POLLRDHUP, 0};
        const bool peerClosed = ::poll(&p, 1, 0) > 0 && (p.revents & (POLLRDHUP | POLLHUP | POLLERR));
        if (connection->phase == Phase::Working) {
            if (peerClosed && connection->call)
                gone->push_back(connection->call);
            else if (connection->call && connection->call->deadlinePassed())
                late->push_back(connection->call);
            continue;
        }
        const qint64 limit = connection->phase == Phase::Head ? headLimit : m_limits.bodyTimeoutMs;
        int unread = 0;
        const bool drained = peerClosed && ::ioctl(connection->socket, FIONREAD, &unread) == 0 && unread == 0;
        if (!drained && !connection->since.hasExpired(limit))
            continue;
        if (!drained)
            logLine(LogLevel::Debug, connection->phase == Phase::Head ? QStringLiteral("conexão fechada: cabeçalho não chegou a tempo")
                                                                      : QStringLiteral("conexão fechada: corpo não chegou a tempo"));
        // The library sees the end of the stream and frees the slot.
        ::shutdown(connection->socket, SHUT_RDWR);
    }
}

QByteArray ConnectionGuard::addressOf(const Connection *connection) const
{
    std::lock_guard lock(m_mutex);
    return connection ? connection->address : QByteArray();
}

} // namespace server
