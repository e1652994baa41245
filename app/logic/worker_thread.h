// The handle of one worker thread (the arrival poller or the disconnect watcher). The worker only
// marks itself as ended; joining and releasing happen on the window's thread alone, so a handle
// is released exactly once.
#pragma once

#include "logic_services.h"

#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <vector>

namespace knot::logic {
class WorkerThread {
  public:
    WorkerThread() = default;
    // Joins every thread still held, including those that overran their stop, however late: a
    // worker may use what its owner lends it until it has ended, so the owner waits for it here.
    ~WorkerThread();
    WorkerThread(const WorkerThread&) = delete;
    WorkerThread& operator=(const WorkerThread&) = delete;

    // Starts `body` through `starter`; false (and no handle) when the thread cannot be created.
    bool Start(const ThreadStarter& starter, std::function<void()> body);

    // True while a thread is held that has not marked itself as ended: the field is "valid".
    bool IsRunning() const;
    // Releases the handle of a worker that has ended by itself, and joins set-aside workers
    // that have ended since.
    void ReapIfEnded();
    // Waits up to `timeout` for the worker to end, then releases the handle either way. A
    // worker that overran is set aside and joined later (at the latest when this object goes).
    // Returns true when it ended in time.
    bool WaitAndRelease(std::chrono::milliseconds timeout);
    // True while no handle is held (the invalid marker).
    bool IsInvalid() const { return !m_thread.has_value(); }

  private:
    struct EndMark {
        std::mutex mutex;
        std::condition_variable changed;
        bool ended = false;
    };
    std::optional<std::thread> m_thread;
    std::shared_ptr<EndMark> m_end;
    struct Overrun {
        std::thread thread;
        std::shared_ptr<EndMark> end;
    };
    std::vector<Overrun> m_overrun;
};

} // namespace knot::logic
