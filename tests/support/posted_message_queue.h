// A window's posted messages kept in a queue of the suites' own, for a view that has no toolkit
// loop: posted from any thread, handled on one in the order posted, and counted.
#pragma once

#include "window_host.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <functional>
#include <map>
#include <mutex>
#include <optional>

namespace knot::test {
using namespace knot::logic;

class PostedMessageQueue {
  public:
    // Thread-safe. `afterPost` (set before any worker starts) runs on the posting thread after
    // the message is queued.
    void Post(const PostedMessage& posted);
    std::function<void(const PostedMessage&)> afterPost;

    // The oldest queued message, if any; Next waits up to `timeout` for one.
    std::optional<PostedMessage> Take();
    std::optional<PostedMessage> Next(std::chrono::milliseconds timeout);
    std::size_t Queued();
    // How many `message`s were ever posted, and a wait until `count` were, up to `deadline`.
    int PostedCount(WindowMessage message);
    bool WaitForPosted(WindowMessage message, int count, std::chrono::milliseconds deadline);

    // Hands queued messages to `handle` in order until none is left or `limit` were handled
    // (the window's loop); returns how many were.
    int Pump(const std::function<void(const PostedMessage&)>& handle, int limit = 1 << 30);

  private:
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::deque<PostedMessage> m_queue;
    std::map<unsigned, int> m_postedCount;
};

} // namespace knot::test
