#include "server/callpool.h"

#include "server/serverlog.h"

namespace server {

CallPool::CallPool(unsigned threads)
{
    for (unsigned i = 0; i < threads; ++i)
        m_threads.emplace_back([this] { work(); });
}

CallPool::~CallPool()
{
    {
        std::lock_guard lock(m_mutex);
        m_stopping = true;
    }
    m_wake.notify_all();
    for (std::thread &thread : m_threads)
        thread.join();
}

void CallPool::submit(std::function<void()> job)
{
    {
        std::lock_guard lock(m_mutex);
        m_jobs.push_back(std::move(job));
    }
    m_wake.notify_one();
}

size_t CallPool::pending() const
{
    std::lock_guard lock(m_mutex);
    return m_jobs.size() + m_running;
}

void CallPool::work()
{
    std::unique_lock lock(m_mutex);
    for (;;) {
        m_wake.wait(lock, [this] { return m_stopping || !m_jobs.empty(); });
        if (m_jobs.empty())
            return;
        std::function<void()> job = std::move(m_jobs.front());
        m_jobs.pop_front();
        ++m_running;
        lock.unlock();
        // Jobs answer their own failures; this keeps a worker alive should one still escape.
        try {
            job();
        } catch (...) {
            logLine(LogLevel::Error, QStringLiteral("falha não tratada em um trabalho do servidor"));
        }
        lock.lock();
        --m_running;
    }
}

} // namespace server
