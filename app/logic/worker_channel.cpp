// A worker's channel to its owner.
#include "worker_channel.h"

namespace knot::logic {
void WorkerChannel::Stop() {
    std::lock_guard lock(m_mutex);
    m_run = false;
    m_changed.notify_all();
}

bool WorkerChannel::Pause(std::chrono::milliseconds period) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, period, [this] { return !m_run; });
}

void WorkerChannel::Post(WindowMessage message, bool last) {
    // Held across the post, so that Stop cannot return while a message is still on its way.
    std::lock_guard lock(m_mutex);
    if (!m_run) {
        return;
    }
    if (last) {
        m_run = false;
    }
    m_tell(message);
}

} // namespace knot::logic
