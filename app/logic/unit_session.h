// The session with the attached unit: noticing a unit (arrival poller), opening it and reading its
// identity, noticing its unplugging (disconnect watcher) and tearing the session down. The two
// workers are std::threads that only post WM_DEVICE_ARRIVED / WM_DEVICE_REMOVED to the window.
#pragma once

#include "device_access.h"
#include "device_link.h"
#include "flash_transfer_view.h"
#include "logic_services.h"
#include "path_recording_port.h"
#include "worker_thread.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

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
    UnitSession(FlashTransferView& view, PathRecordingPort& port, DeviceAccess& access,
                DeviceLink& link, DeviceInfoPanel& deviceInfo, const LogicServices& services,
                SessionListener& listener);
    // Stops the workers if they still run.
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
    // Wakes a worker's pause at once when the window asks it to stop.
    struct StopSignal {
        std::mutex mutex;
        std::condition_variable changed;
        bool stopped = false;
        void Stop();
        // Pauses up to `period`; true when asked to stop.
        bool WaitFor(std::chrono::milliseconds period);
    };

    // Polls until the count of interfaces differs from `baseline`, then posts one arrival.
    void StartPoller(int baseline);
    void StartWatcher();
    void ArrivalPollerProc(int baseline);
    void DisconnectWatcherProc(std::int32_t deviceNumber, PortHandle stopEvent,
                               std::string devicePath, std::shared_ptr<StopSignal> stop);

    FlashTransferView& m_view;
    PathRecordingPort& m_port;
    DeviceAccess& m_access;
    DeviceLink& m_link;
    DeviceInfoPanel& m_deviceInfo;
    LogicServices m_services;
    SessionListener& m_listener;

    bool m_bDeviceReady = false;
    std::atomic<bool> m_bPollerRun{false};
    std::mutex m_pollerMutex; // only to wake the poller's pause
    std::condition_variable m_pollerWake;
    WorkerThread m_hPollerThread;
    WorkerThread m_hWatcherThread;
    PortHandle m_hWatcherStopEvent = INVALID_PORT_HANDLE;
    std::shared_ptr<StopSignal> m_watcherStop;
    std::string m_devicePath;
};
