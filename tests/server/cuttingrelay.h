#pragma once

#include <QtGlobal>

#include <atomic>
#include <thread>

namespace harness {

// A TCP relay on loopback in front of a database server. Armed, it passes so many more bytes
// from the database and then closes both sides, as a failover, a proxy's shutdown-sessions or
// a cut network does in the middle of a result; later connections pass whole again.
class CuttingRelay
{
public:
    explicit CuttingRelay(quint16 upstreamPort);
    ~CuttingRelay();
    CuttingRelay(const CuttingRelay &) = delete;
    CuttingRelay &operator=(const CuttingRelay &) = delete;

    quint16 port() const { return m_port; }
    // Bytes passed from the database so far.
    qint64 bytesFromDatabase() const { return m_fromDatabase; }
    void cutAfter(qint64 bytes) { m_budget = bytes; }

private:
    void run();

    quint16 m_upstream;
    quint16 m_port = 0;
    int m_listener = -1;
    std::atomic<bool> m_stop{false};
    std::atomic<qint64> m_budget{-1};
    std::atomic<qint64> m_fromDatabase{0};
    std::thread m_thread;
};

} // namespace harness
