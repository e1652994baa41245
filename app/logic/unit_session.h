// The session with the attached unit: noticing a unit (arrival poller), opening it and reading its
// identity, noticing its unplugging (disconnect watcher) and tearing the session down. The two
// workers are std::threads that only post WM_DEVICE_ARRIVED / WM_DEVICE_REMOVED to the window.
#pragma once

#include "device_access.h"
#include "device_link.h"
#include "logic_events.h"
#include "logic_services.h"
#include "path_recording_port.h"
#include "window_host.h"
#include "worker_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace knot::logic {
using namespace knot::device;

class DeviceInfoPanel;

// Told of the two session events that change what the operator may do.
class SessionListener {
  public:
    virtual ~SessionListener() = default;
    // A unit answered its identity query (m_bDeviceReady has just been raised).
    virtual void OnUnitReady() = 0;
    // A unit was unplugged; the session is torn down and detection has begun again.
    virtual void OnUnitRemoved() = 0;
};

class UnitSession {
  public:
    // All references must outlive the session; `access` must run over `port`.
    UnitSession(WindowHost& host, LogicObserver& events, PathRecordingPort& port,
                DeviceAccess& access, DeviceLink& link, DeviceInfoPanel& deviceInfo,
                const LogicServices& services, SessionListener& listener);
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
    // The two message handlers; both return 1.
    int OnDeviceArrived(std::uintptr_t wParam, std::intptr_t lParam);
    int OnDeviceRemoved(std::uintptr_t wParam, std::intptr_t lParam);

    bool DeviceReady() const { return m_bDeviceReady; }
    const std::string& DevicePath() const { return m_devicePath; }
    // Whether each worker is running now (its thread has not ended).
    bool IsPollerRunning() const { return m_hPollerThread.IsRunning(); }
    bool IsWatcherRunning() const { return m_hWatcherThread.IsRunning(); }
    PortHandle WatcherStopEvent() const { return m_hWatcherStopEvent; }

  private:
    // What one worker shares with the session: its run flag, the wake-up of its pauses and its
    // way to post to the window. Both hold it, so a worker that overruns its stop still finds
    // it; once stopped, nothing the worker posts reaches the window any more.
    class WorkerChannel {
      public:
        explicit WorkerChannel(WindowHost& host) : m_host(host) {}
        bool Running() const { return m_run; }
        // Lowers the run flag and wakes the pause. When it returns, no post of this worker is
        // under way and none will follow.
        void Stop();
        // Pauses up to `period`; true when stopped meanwhile.
        bool Pause(std::chrono::milliseconds period);
        // Posts `message` unless stopped. A worker's last post lowers the run flag before the
        // message leaves, so that its handler already sees this worker as ending.
        void Post(WindowMessage message, bool last);

      private:
        WindowHost& m_host;
        std::mutex m_mutex;
        std::condition_variable m_changed;
        std::atomic<bool> m_run{true}; // raised before the thread starts
    };

    // Polls until the present interfaces differ from `baseline` (their paths, in order), then
    // posts one arrival. With `retry`, it also posts one once a retry interval has passed, so
    // that interfaces that could not be judged are looked at again.
    void StartPoller(std::vector<std::string> baseline, bool retry);
    void StartWatcher();
    // The bodies touch only what they are given: the port (which outlives the session, and the
    // session joins every worker before it goes), their channel and copies.
    static void ArrivalPollerProc(DriverPort& port, WorkerChannel& channel,
                                  const std::vector<std::string>& baseline, bool retry,
                                  SessionTiming timing);
    // `named` is the driver's disconnect event, opened on the window's thread while the unit is
    // open (INVALID_PORT_HANDLE when it did not open), so that a unit that vanishes before the
    // watcher's first look cannot leave it waiting on a later unit's event of the same name.
    // The watcher closes it.
    static void DisconnectWatcherProc(DriverPort& port, WorkerChannel& channel, PortHandle named,
                                      PortHandle stopEvent, const std::string& devicePath,
                                      std::chrono::milliseconds presenceInterval);

    WindowHost& m_host;
    LogicObserver& m_events;
    PathRecordingPort& m_port;
    DeviceAccess& m_access;
    DeviceLink& m_link;
    DeviceInfoPanel& m_deviceInfo;
    LogicServices m_services;
    SessionListener& m_listener;

    bool m_bDeviceReady = false;
    // The channel of the current poller carries its run flag and that of the current watcher
    // its stop signal; each worker has its own, so an old worker on its way
    // out never stops or speaks for a new one.
    std::shared_ptr<WorkerChannel> m_pollerChannel;
    std::shared_ptr<WorkerChannel> m_watcherChannel;
    PortHandle m_hWatcherStopEvent = INVALID_PORT_HANDLE;
    std::string m_devicePath;
    // Last: they join their workers before anything above goes.
    WorkerThread m_hPollerThread;
    WorkerThread m_hWatcherThread;
};

} // namespace knot::logic
