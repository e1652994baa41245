// The suites' queue of posted messages.
#include "posted_message_queue.h"

namespace knot::test {
void PostedMessageQueue::Post(const PostedMessage& posted) {
    {
        std::lock_guard lock(m_mutex);
        m_queue.push_back(posted);
        ++m_postedCount[posted.message];
        m_changed.notify_all();
    }
    if (afterPost) {
        afterPost(posted);
    }
}

std::optional<PostedMessage> PostedMessageQueue::Take() {
    return Next(std::chrono::milliseconds(0));
}

std::optional<PostedMessage> PostedMessageQueue::Next(std::chrono::milliseconds timeout) {
    std::unique_lock lock(m_mutex);
    if (!m_changed.wait_for(lock, timeout, [this] { return !m_queue.empty(); })) {
        return std::nullopt;
    }
    PostedMessage next = m_queue.front();
    m_queue.pop_front();
    return next;
}

std::size_t PostedMessageQueue::Queued() {
    std::lock_guard lock(m_mutex);
    return m_queue.size();
}

int PostedMessageQueue::PostedCount(WindowMessage message) {
    std::lock_guard lock(m_mutex);
    return m_postedCount[message];
}

bool PostedMessageQueue::WaitForPosted(WindowMessage message, int count,
                                       std::chrono::milliseconds deadline) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, deadline, [&] { return m_postedCount[message] >= count; });
}

int PostedMessageQueue::Pump(const std::function<void(const PostedMessage&)>& handle, int limit) {
    int handled = 0;
    while (handled < limit) {
        std::optional<PostedMessage> next = Take();
        if (!next) {
            break;
        }
        handle(*next);
        ++handled;
    }
    return handled;
}

} // namespace knot::test
