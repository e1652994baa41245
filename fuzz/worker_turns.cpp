// Worker threads run as turns of the harness.
#include "worker_turns.h"

#include "narration.h"

namespace knot::fuzz {
ThreadStarter WorkerTurns::Starter() {
    return [this](std::function<void()> body) -> std::optional<std::thread> {
        if (refuse) {
            return std::nullopt;
        }
        m_workers.push_back({std::move(body)});
        ++m_started;
        Narrate("worker %d started", m_started);
        return std::thread(); // the body runs as the harness's turns, not on a thread of its own
    };
}

bool WorkerTurns::AnyReady() const {
    for (const Worker& worker : m_workers) {
        if (!worker.blocked || worker.blockedAt != m_port.Version()) {
            return true;
        }
    }
    return false;
}

int WorkerTurns::RunReady(bool all) {
    if (m_running) {
        return 0; // a turn does not start another (the stop of a watcher inside a turn)
    }
    m_running = true;
    int turns = 0;
    for (std::size_t i = 0; i < m_workers.size();) {
        Worker& worker = m_workers[i];
        if (!all && worker.blocked && worker.blockedAt == m_port.Version()) {
            ++i;
            continue;
        }
        ++turns;
        Narrate("worker turn (%zu of %zu)", i + 1, m_workers.size());
        m_port.BeginTurn();
        try {
            worker.body();
        } catch (const WorkerWouldBlock&) {
            m_port.EndTurn(true);
            worker.blocked = true;
            worker.blockedAt = m_port.Version();
            Narrate("  the worker waits");
            ++i;
            continue;
        }
        m_port.EndTurn(false);
        Narrate("  the worker has ended");
        m_workers.erase(m_workers.begin() + static_cast<std::ptrdiff_t>(i));
    }
    m_running = false;
    return turns;
}

} // namespace knot::fuzz
