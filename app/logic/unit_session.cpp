// The session with the unit and its two watchers.
#include "unit_session.h"

#include "device_info_panel.h"
#include "disconnect_event.h"
#include "interface_presence.h"

void UnitSession::StopSignal::Stop() {
    std::lock_guard lock(mutex);
    stopped = true;
    changed.notify_all();
}

bool UnitSession::StopSignal::WaitFor(std::chrono::milliseconds period) {
    std::unique_lock lock(mutex);
    return changed.wait_for(lock, period, [this] { return stopped; });
}

UnitSession::UnitSession(FlashTransferView& view, PathRecordingPort& port, DeviceAccess& access,
                         DeviceLink& link, DeviceInfoPanel& deviceInfo,
                         const LogicServices& services, SessionListener& listener)
    : m_view(view), m_port(port), m_access(access), m_link(link), m_deviceInfo(deviceInfo),
      m_services(WithDefaults(services)), m_listener(listener) {}

UnitSession::~UnitSession() {
    StopWorkers();
}

void UnitSession::ResetSessionHandles() {
    m_link.handle = INVALID_PORT_HANDLE;
    m_link.deviceNumber = UNKNOWN_DEVICE_NUMBER;
    m_devicePath.clear();
    m_bPollerRun = false;
    m_hPollerThread.ReapIfEnded();
    m_hWatcherThread.ReapIfEnded();
    m_hWatcherStopEvent = m_port.CreateStopEvent();
    m_watcherStop = std::make_shared<StopSignal>();
}

void UnitSession::BeginArrivalDetection() {
    if (CountDeviceInterfaces(m_port) != 0) {
        m_view.PostWindowMessage(WM_DEVICE_ARRIVED, 0);
        return;
    }
    StartPoller(0);
}

void UnitSession::StartPoller(int baseline) {
    m_hPollerThread.ReapIfEnded();
    if (!m_hPollerThread.IsInvalid()) {
        return; // one poller at a time
    }
    // Raised before the start, so that a StopWorkers right after it is always seen.
    m_bPollerRun = true;
    if (!m_hPollerThread.Start(m_services.startThread,
                               [this, baseline] { ArrivalPollerProc(baseline); })) {
        m_bPollerRun = false;
    }
}

void UnitSession::ArrivalPollerProc(int baseline) {
    for (;;) {
        if (CountDeviceInterfaces(m_port) != baseline) {
            m_view.PostWindowMessage(WM_DEVICE_ARRIVED, 0);
            break;
        }
        std::unique_lock lock(m_pollerMutex);
        m_pollerWake.wait_for(lock, m_services.timing.pollInterval,
                              [this] { return !m_bPollerRun; });
        if (!m_bPollerRun) {
            break;
        }
    }
    m_bPollerRun = false;
}

bool UnitSession::OpenSession() {
    if (!m_access.OpenDeviceLink(m_link)) {
        return false;
    }
    m_devicePath = m_port.PathOf(m_link.handle);
    m_hWatcherThread.ReapIfEnded();
    if (m_hWatcherThread.IsInvalid()) {
        StartWatcher();
    }
    return true;
}

void UnitSession::StartWatcher() {
    if (!m_watcherStop) {
        m_watcherStop = std::make_shared<StopSignal>();
    }
    m_hWatcherThread.Start(
        m_services.startThread,
        [this, number = m_link.deviceNumber, stopEvent = m_hWatcherStopEvent, path = m_devicePath,
         stop = m_watcherStop] { DisconnectWatcherProc(number, stopEvent, path, stop); });
}

void UnitSession::DisconnectWatcherProc(std::int32_t deviceNumber, PortHandle stopEvent,
                                        std::string devicePath, std::shared_ptr<StopSignal> stop) {
    PortHandle named = m_port.OpenNamedEvent(DisconnectEventName(deviceNumber));
    if (named != INVALID_PORT_HANDLE && named != 0) {
        WaitOutcome outcome = m_port.WaitForStopOrEvent(stopEvent, named, -1);
        m_port.CloseEvent(named);
        if (outcome == WaitOutcome::Disconnected) {
            m_view.PostWindowMessage(WM_DEVICE_REMOVED, 0);
            return;
        }
        if (outcome == WaitOutcome::Stop) {
            return;
        }
    }
    // No event to wait on: ask the setup service, without opening the device, whether the
    // session's interface is still there.
    for (;;) {
        if (stop->WaitFor(std::chrono::milliseconds(0))) {
            return;
        }
        if (!devicePath.empty() && !IsInterfacePresent(m_port, devicePath)) {
            m_view.PostWindowMessage(WM_DEVICE_REMOVED, 0);
            return;
        }
        if (stop->WaitFor(m_services.timing.presenceInterval)) {
            return;
        }
    }
}

int UnitSession::OnDeviceArrived(std::uintptr_t, std::intptr_t) {
    if (m_link.IsOpen()) {
        return 1; // a session is already open: an arrival left over from before it
    }
    if (!OpenSession()) {
        // Interfaces are present but none qualifies: keep watching, and look again only when
        // their number changes, so that a foreign interface causes no loop of opens.
        StartPoller(CountDeviceInterfaces(m_port));
        return 1;
    }
    m_view.BeginWaitCursor();
    if (m_deviceInfo.QueryDeviceInfo()) {
        m_bDeviceReady = true;
        m_listener.OnUnitReady();
    }
    m_view.EndWaitCursor();
    return 1;
}

int UnitSession::OnDeviceRemoved(std::uintptr_t, std::intptr_t) {
    StopWorkers();
    ResetSessionHandles();
    m_deviceInfo.ResetDeviceInfo();
    m_view.EnableInitializeItem(false);
    m_bDeviceReady = false;
    m_view.EnableStart(false);
    BeginArrivalDetection();
    m_listener.OnUnitRemoved();
    return 1;
}

void UnitSession::StopWorkers() {
    if (!m_hPollerThread.IsInvalid()) {
        {
            std::lock_guard lock(m_pollerMutex);
            m_bPollerRun = false;
        }
        m_pollerWake.notify_all();
        m_hPollerThread.WaitAndRelease(m_services.timing.stopTimeout);
    }
    bool watcherEnded = true;
    if (!m_hWatcherThread.IsInvalid()) {
        if (m_hWatcherStopEvent != INVALID_PORT_HANDLE) {
            m_port.SetEvent(m_hWatcherStopEvent);
        }
        if (m_watcherStop) {
            m_watcherStop->Stop();
        }
        watcherEnded = m_hWatcherThread.WaitAndRelease(m_services.timing.stopTimeout);
    }
    if (m_link.IsOpen()) {
        m_access.CloseDeviceLink(m_link);
    }
    // A watcher that overran may still wait on the stop event: it keeps it.
    if (m_hWatcherStopEvent != INVALID_PORT_HANDLE && watcherEnded) {
        m_port.CloseEvent(m_hWatcherStopEvent);
    }
    m_hWatcherStopEvent = INVALID_PORT_HANDLE;
    m_watcherStop.reset();
}
