// The window's session with the attached unit: noticing a unit (arrival poller), opening it,
// noticing its unplugging (disconnect watcher) and tearing the session down. The two workers are
// std::threads that only post WM_DEVICE_ARRIVED / WM_DEVICE_REMOVED to the window.
#pragma once

#include "driver_port.h"
#include "logic_services.h"
#include "window_host.h"
#include "worker_channel.h"
#include "worker_thread.h"

#include <chrono>
#include <memory>
#include <string>
#include <vector>

namespace knot::device {
class UnitLink;
} // namespace knot::device

namespace knot::logic {
using namespace knot::device;

class UnitSession {
  public:
    // `host` and `link` must outlive the session.
    UnitSession(WindowHost& host, UnitLink& link, const LogicServices& services);
    // Stops the workers if they still run, and waits for any that overran their stop.
    ~UnitSession();
    UnitSession(const UnitSession&) = delete;
    UnitSession& operator=(const UnitSession&) = delete;

    // At start-up and after StopWorkers: no unit, no workers, a fresh stop event. Closes nothing.
    void ResetSessionHandles();
    // Posts WM_DEVICE_ARRIVED at once when an interface is present, otherwise starts the poller.
    void BeginArrivalDetection();
    // Opens the unit and starts the disconnect watcher; false when no unit qualifies.
    bool OpenSession();
    // Poller first, then watcher (each waited for at most stopTimeout), then the link and the
    // stop event. Every way of ending the window calls it first.
    void StopWorkers();
    // An arrival: true when it opened a unit. Without one (a unit is open already, or none
    // qualifies) it keeps watching for the next.
    bool OnDeviceArrived();
    // A removal: the workers stop and the session is torn down.
    void OnDeviceRemoved();

    const std::string& DevicePath() const;
    // Whether each worker is running now (its thread has not ended).
    bool IsPollerRunning() const { return m_hPollerThread.IsRunning(); }
    bool IsWatcherRunning() const { return m_hWatcherThread.IsRunning(); }
    PortHandle WatcherStopEvent() const { return m_hWatcherStopEvent; }

  private:
    // Polls until the present interfaces differ from `baseline` (their paths, in order), then
    // posts one arrival. With `retry`, it also posts one once a retry interval has passed, so
    // that interfaces that could not be judged are looked at again.
    void StartPoller(std::vector<std::string> baseline, bool retry);
    void StartWatcher();
    std::shared_ptr<WorkerChannel> NewChannel();
    // The body touches only what it is given: the port (which outlives the session, and the
    // session joins every worker before it goes), its channel and copies.
    static void ArrivalPollerProc(DriverPort& port, WorkerChannel& channel,
                                  const std::vector<std::string>& baseline, bool retry,
                                  SessionTiming timing);

    WindowHost& m_host;
    UnitLink& m_link;
    DriverPort& m_port;
    LogicServices m_services;

    // The channel of the current poller carries its run flag and that of the current watcher
    // its stop signal; each worker has its own, so an old worker on its way
    // out never stops or speaks for a new one.
    std::shared_ptr<WorkerChannel> m_pollerChannel;
    std::shared_ptr<WorkerChannel> m_watcherChannel;
    PortHandle m_hWatcherStopEvent = INVALID_PORT_HANDLE;
    // Last: they join their workers before anything above goes.
    WorkerThread m_hPollerThread;
    WorkerThread m_hWatcherThread;
};

} // namespace knot::logic
