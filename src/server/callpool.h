#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <mutex>
#include <thread>
#include <vector>

namespace server {

// A fixed set of threads running queued jobs in order. The HTTP layer hands calls to two of
// them, one for the quick lookups and one for the preparations, so neither waits for the other.
class CallPool
{
public:
    explicit CallPool(unsigned threads);
    ~CallPool(); // runs what is queued, then joins
    CallPool(const CallPool &) = delete;
    CallPool &operator=(const CallPool &) = delete;

    void submit(std::function<void()> job);
    // Jobs queued or running.
    size_t pending() const;

private:
    void work();

    mutable std::mutex m_mutex;
    std::condition_variable m_wake;
    std::deque<std::function<void()>> m_jobs;
    size_t m_running = 0;
    bool m_stopping = false;
    std::vector<std::thread> m_threads;
};

} // namespace server
