// The session's worker threads as turns the harness takes: the ThreadStarter keeps each body and
// hands back a thread that is not joinable, and the harness runs the body, on its own thread,
// whenever the world has changed since the body last found nothing to do.
#pragma once

#include "logic_services.h"
#include "world_port.h"

#include <cstdint>
#include <deque>
#include <functional>

namespace knot::fuzz {
using namespace knot::logic;

class WorkerTurns {
  public:
    // `port` must outlive this object.
    explicit WorkerTurns(WorldPort& port) : m_port(port) {}

    // The starter to give the logic. With `refuse` set, it refuses to start a thread.
    ThreadStarter Starter();
    bool refuse = false;

    // Whether some worker would make progress if it took its turn now.
    bool AnyReady() const;
    // Gives every such worker one turn (with `all`, every worker: what was stopped outside the
    // port, a run flag lowered, wakes too); a body that returns has ended. Returns the turns taken.
    int RunReady(bool all = false);
    // Workers whose body has not returned yet.
    std::size_t Alive() const { return m_workers.size(); }
    int Started() const { return m_started; }

  private:
    struct Worker {
        std::function<void()> body;
        bool blocked = false;
        std::uint64_t blockedAt = 0; // the world's version when it last blocked
    };

    WorldPort& m_port;
    std::deque<Worker> m_workers;
    int m_started = 0;
    bool m_running = false;
};

} // namespace knot::fuzz
