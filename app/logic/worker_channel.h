// What a worker thread shares with its owner: its run flag, the wake-up of its pauses and its
// one way to tell the owner something. Once stopped, nothing the worker tells reaches the owner.
#pragma once

#include "window_messages.h"

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <mutex>

namespace knot::logic {
class WorkerChannel {
  public:
    // `tell` runs on the worker's thread (a window posts the message to itself).
    explicit WorkerChannel(std::function<void(WindowMessage)> tell) : m_tell(std::move(tell)) {}

    bool Running() const { return m_run; }
    // Lowers the run flag and wakes the pause. When it returns, no message of this worker is
    // on its way and none will follow.
    void Stop();
    // Pauses up to `period`; true when stopped meanwhile.
    bool Pause(std::chrono::milliseconds period);
    // Tells `message` unless stopped. A worker's last message lowers the run flag before it
    // leaves, so that its handler already sees this worker as ending.
    void Post(WindowMessage message, bool last);

  private:
    std::function<void(WindowMessage)> m_tell;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    std::atomic<bool> m_run{true}; // raised before the thread starts
};

} // namespace knot::logic
