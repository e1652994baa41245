// Worker thread handles, released only by their owner's thread.
#include "worker_thread.h"

namespace knot::logic {
WorkerThread::~WorkerThread() {
    if (m_thread && m_thread->joinable()) {
        m_thread->join();
    }
    // A worker blocked in the driver keeps the close waiting: leaving it behind would let it
    // return into freed memory.
    for (Overrun& overrun : m_overrun) {
        if (overrun.thread.joinable()) {
            overrun.thread.join();
        }
    }
}

bool WorkerThread::Start(const ThreadStarter& starter, std::function<void()> body) {
    auto end = std::make_shared<EndMark>();
    std::optional<std::thread> thread = starter([end, body = std::move(body)] {
        body();
        std::lock_guard lock(end->mutex);
        end->ended = true;
        end->changed.notify_all();
    });
    if (!thread) {
        return false;
    }
    m_thread = std::move(thread);
    m_end = std::move(end);
    return true;
}

bool WorkerThread::IsRunning() const {
    if (!m_thread) {
        return false;
    }
    std::lock_guard lock(m_end->mutex);
    return !m_end->ended;
}

void WorkerThread::ReapIfEnded() {
    if (m_thread && !IsRunning()) {
        WaitAndRelease(std::chrono::milliseconds(0));
    }
    std::erase_if(m_overrun, [](Overrun& overrun) {
        {
            std::lock_guard lock(overrun.end->mutex);
            if (!overrun.end->ended) {
                return false;
            }
        }
        if (overrun.thread.joinable()) {
            overrun.thread.join();
        }
        return true;
    });
}

bool WorkerThread::WaitAndRelease(std::chrono::milliseconds timeout) {
    if (!m_thread) {
        return true;
    }
    bool ended;
    {
        std::unique_lock lock(m_end->mutex);
        ended = m_end->changed.wait_for(lock, timeout, [&] { return m_end->ended; });
    }
    if (ended && m_thread->joinable()) {
        m_thread->join(); // it has left its body: the join is immediate
    } else {
        m_overrun.push_back({std::move(*m_thread), m_end});
    }
    m_thread.reset();
    m_end.reset();
    return ended;
}

} // namespace knot::logic
