// StatementThread: the thread a server connection's statements run on while the window waits.
#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <thread>

namespace docdb {

/// One worker thread running posted work in order. The poster waits for each piece as it likes
/// (bounded, or with the window going on); a piece cancelled before it starts is never run.
class StatementThread {
public:
    class Job {
    public:
        /// Waits at most ms for the work to end; true when it has.
        bool waitFor(int ms);
        bool done() const;
        /// The work is not started if it has not started yet; true when it had not (and now never
        /// starts), false when it is running or has run.
        bool cancel();

    private:
        friend class StatementThread;
        std::function<void()> m_work;
        mutable std::mutex m_lock;
        std::condition_variable m_ended;
        bool m_done = false, m_cancelled = false, m_started = false;
    };

    StatementThread();
    /// Waits for the work posted to end, unless the thread was abandoned.
    ~StatementThread();
    StatementThread(const StatementThread&) = delete;
    StatementThread& operator=(const StatementThread&) = delete;

    std::shared_ptr<Job> post(std::function<void()> work);
    /// The thread is left to end by itself after the work it is doing (its work must own everything
    /// it touches); the object can then go at once.
    void abandon() { m_abandoned = true; }

private:
    struct Queue {
        std::mutex lock;
        std::condition_variable posted;
        std::deque<std::shared_ptr<Job>> jobs;
        bool stop = false;
    };
    std::shared_ptr<Queue> m_queue;
    std::thread m_thread;
    bool m_abandoned = false;
};

} // namespace docdb
