#include "cuttingrelay.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <vector>

namespace harness {

namespace {

int connectTo(quint16 port)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_port = htons(port);
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (fd >= 0 && ::connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0)
        return fd;
    if (fd >= 0)
        ::close(fd);
    return -1;
}

struct Pair {
    int client;
    int database;
};

} // namespace

CuttingRelay::CuttingRelay(quint16 upstreamPort) : m_upstream(upstreamPort)
{
    m_listener = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (::bind(m_listener, reinterpret_cast<sockaddr *>(&address), sizeof address) == 0 && ::listen(m_listener, 16) == 0
        && ::getsockname(m_listener, reinterpret_cast<sockaddr *>(&address), &length) == 0)
        m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { run(); });
}

CuttingRelay::~CuttingRelay()
{
    m_stop = true;
    m_thread.join();
    ::close(m_listener);
}

void CuttingRelay::run()
{
    std::vector<Pair> pairs;
    const auto closePair = [](const Pair &pair) {
        ::close(pair.client);
        ::close(pair.database);
    };
    char buffer[16384];
    while (!m_stop) {
        std::vector<pollfd> watched{{m_listener, POLLIN, 0}};
        for (const Pair &pair : pairs) {
            watched.push_back({pair.client, POLLIN, 0});
            watched.push_back({pair.database, POLLIN, 0});
        }
        if (::poll(watched.data(), watched.size(), 50) <= 0)
            continue;
        std::vector<Pair> open;
        if (watched[0].revents & POLLIN) {
            const int client = ::accept(m_listener, nullptr, nullptr);
            const int database = client >= 0 ? connectTo(m_upstream) : -1;
            if (database >= 0)
                open.push_back({client, database});
            else if (client >= 0)
                ::close(client);
        }
        for (size_t i = 0; i < pairs.size(); ++i) {
            const Pair pair = pairs[i];
            bool alive = true;
            for (const bool fromDatabase : {false, true}) {
                const pollfd &ready = watched[1 + 2 * i + (fromDatabase ? 1 : 0)];
                if (!alive || !(ready.revents & (POLLIN | POLLHUP | POLLERR)))
                    continue;
                ssize_t got = ::recv(ready.fd, buffer, sizeof buffer, 0);
                if (got <= 0) {
                    alive = false;
                    continue;
                }
                const qint64 budget = m_budget;
                bool cut = false;
                if (fromDatabase && budget >= 0) {
                    cut = got >= budget;
                    got = std::min<qint64>(got, budget);
                    m_budget = cut ? -1 : budget - got;
                }
                if (fromDatabase)
                    m_fromDatabase += got;
                const int to = fromDatabase ? pair.client : pair.database;
                alive = (got == 0 || ::send(to, buffer, size_t(got), MSG_NOSIGNAL) == got) && !cut;
            }
            if (alive)
                open.push_back(pair);
            else
                closePair(pair);
        }
        pairs.swap(open);
    }
    for (const Pair &pair : pairs)
        closePair(pair);
}

} // namespace harness
