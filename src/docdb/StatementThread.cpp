// StatementThread: a queue of work, a condition per job.
#include "docdb/StatementThread.h"

#include <chrono>

namespace docdb {

bool StatementThread::Job::waitFor(int ms) {
    std::unique_lock lock(m_lock);
    return m_ended.wait_for(lock, std::chrono::milliseconds(ms), [this] { return m_done; });
}

bool StatementThread::Job::done() const {
    const std::lock_guard lock(m_lock);
    return m_done;
}

bool StatementThread::Job::cancel() {
    const std::lock_guard lock(m_lock);
    m_cancelled = true;
    return !m_started;
}

StatementThread::StatementThread() : m_queue(std::make_shared<Queue>()) {
    // The thread holds the queue itself: an abandoned thread outlives this object.
    m_thread = std::thread([q = m_queue] {
        while (true) {
            std::shared_ptr<Job> job;
            {
                std::unique_lock lock(q->lock);
                q->posted.wait(lock, [&] { return q->stop || !q->jobs.empty(); });
                if (q->jobs.empty())
                    return; // stopped, and nothing is left to do
                job = std::move(q->jobs.front());
                q->jobs.pop_front();
            }
            bool run = false;
            {
                const std::lock_guard lock(job->m_lock);
                run = job->m_started = !job->m_cancelled;
            }
            if (run)
                job->m_work();
            job->m_work = nullptr; // what the work held goes here, on this thread
            {
                const std::lock_guard lock(job->m_lock);
                job->m_done = true;
            }
            job->m_ended.notify_all();
        }
    });
}

StatementThread::~StatementThread() {
    {
        const std::lock_guard lock(m_queue->lock);
        m_queue->stop = true;
        if (m_abandoned)
            for (const auto& job : m_queue->jobs)
                job->cancel(); // nobody waits for them any more
    }
    m_queue->posted.notify_all();
    if (m_abandoned)
        m_thread.detach();
    else
        m_thread.join();
}

std::shared_ptr<StatementThread::Job> StatementThread::post(std::function<void()> work) {
    auto job = std::make_shared<Job>();
    job->m_work = std::move(work);
    {
        const std::lock_guard lock(m_queue->lock);
        m_queue->jobs.push_back(job);
    }
    m_queue->posted.notify_one();
    return job;
}

} // namespace docdb
