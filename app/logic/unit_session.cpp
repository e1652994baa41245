// The session with the unit and its two watchers.
#include "unit_session.h"

#include "command_rules.h"
#include "device_info_panel.h"
#include "disconnect_event.h"
#include "interface_survey.h"

namespace knot::logic {
using namespace knot::device;

void UnitSession::WorkerChannel::Stop() {
    std::lock_guard lock(m_mutex);
    m_run = false;
    m_changed.notify_all();
}

bool UnitSession::WorkerChannel::Pause(std::chrono::milliseconds period) {
    std::unique_lock lock(m_mutex);
    return m_changed.wait_for(lock, period, [this] { return !m_run; });
}

void UnitSession::WorkerChannel::Post(WindowMessage message, bool last) {
    // Held across the post, so that Stop cannot return while a message is still on its way.
    std::lock_guard lock(m_mutex);
    if (!m_run) {
        return;
    }
    if (last) {
        m_run = false;
    }
    m_host.PostWindowMessage(message, 0);
}

UnitSession::UnitSession(WindowHost& host, LogicObserver& events, PathRecordingPort& port,
                         DeviceAccess& access, DeviceLink& link, DeviceInfoPanel& deviceInfo,
                         const LogicServices& services, SessionListener& listener)
    : m_host(host), m_events(events), m_port(port), m_access(access), m_link(link),
      m_deviceInfo(deviceInfo), m_services(WithDefaults(services)), m_listener(listener) {}

UnitSession::~UnitSession() {
    StopWorkers();
}

void UnitSession::ResetSessionHandles() {
    m_link.handle = INVALID_PORT_HANDLE;
    m_link.deviceNumber = UNKNOWN_DEVICE_NUMBER;
    m_devicePath.clear();
    m_hPollerThread.ReapIfEnded();
    m_hWatcherThread.ReapIfEnded();
    m_hWatcherStopEvent = m_port.CreateStopEvent();
}

void UnitSession::BeginArrivalDetection() {
    if (CountDeviceInterfaces(m_port) != 0) {
        m_host.PostWindowMessage(WM_DEVICE_ARRIVED, 0);
        return;
    }
    StartPoller({}, false);
}

void UnitSession::StartPoller(std::vector<std::string> baseline, bool retry) {
    m_hPollerThread.ReapIfEnded();
    if (!m_hPollerThread.IsInvalid()) {
        if (m_pollerChannel && m_pollerChannel->Running()) {
            return; // one poller at a time
        }
        // It has posted the arrival being handled now and is on its way out: set it aside.
        m_hPollerThread.WaitAndRelease(std::chrono::milliseconds(0));
    }
    auto channel = std::make_shared<WorkerChannel>(m_host);
    if (m_hPollerThread.Start(m_services.startThread,
                              [&port = m_port, channel, baseline = std::move(baseline), retry,
                               timing = m_services.timing] {
                                  ArrivalPollerProc(port, *channel, baseline, retry, timing);
                              })) {
        m_pollerChannel = std::move(channel);
    }
}

void UnitSession::ArrivalPollerProc(DriverPort& port, WorkerChannel& channel,
                                    const std::vector<std::string>& baseline, bool retry,
                                    SessionTiming timing) {
    const auto retryAt = std::chrono::steady_clock::now() + timing.retryInterval;
    for (;;) {
        if (PresentPaths(port).value_or(std::vector<std::string>{}) != baseline ||
            (retry && std::chrono::steady_clock::now() >= retryAt)) {
            channel.Post(WM_DEVICE_ARRIVED, true);
            return;
        }
        if (channel.Pause(timing.pollInterval)) {
            return;
        }
    }
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
    auto channel = std::make_shared<WorkerChannel>(m_host);
    const PortHandle named = m_port.OpenNamedEvent(DisconnectEventName(m_link.deviceNumber));
    if (m_hWatcherThread.Start(
            m_services.startThread,
            [&port = m_port, channel, named, stopEvent = m_hWatcherStopEvent, path = m_devicePath,
             interval = m_services.timing.presenceInterval] {
                DisconnectWatcherProc(port, *channel, named, stopEvent, path, interval);
            })) {
        m_watcherChannel = std::move(channel);
    } else if (named != INVALID_PORT_HANDLE && named != 0) {
        m_port.CloseEvent(named);
    }
}

void UnitSession::DisconnectWatcherProc(DriverPort& port, WorkerChannel& channel, PortHandle named,
                                        PortHandle stopEvent, const std::string& devicePath,
                                        std::chrono::milliseconds presenceInterval) {
    if (named != INVALID_PORT_HANDLE && named != 0) {
        WaitOutcome outcome = port.WaitForStopOrEvent(stopEvent, named, -1);
        port.CloseEvent(named);
        if (outcome == WaitOutcome::Disconnected) {
            channel.Post(WM_DEVICE_REMOVED, true);
            return;
        }
        if (outcome == WaitOutcome::Stop) {
            return;
        }
    }
    // No event to wait on: ask the setup service, without opening the device, whether the
    // session's interface is still there.
    for (;;) {
        if (!channel.Running()) {
            return;
        }
        if (!devicePath.empty() && !IsInterfacePresent(port, devicePath)) {
            channel.Post(WM_DEVICE_REMOVED, true);
            return;
        }
        if (channel.Pause(presenceInterval)) {
            return;
        }
    }
}

int UnitSession::OnDeviceArrived(std::uintptr_t, std::intptr_t) {
    if (m_link.IsOpen()) {
        return 1; // a session is already open: an arrival left over from before it
    }
    if (!OpenSession()) {
        // Interfaces are present but none qualifies: keep watching, and look again when they
        // change, or after a while when some could not be judged (not opened, or no descriptor
        // read), so that a foreign interface causes no loop of opens.
        StartPoller(PresentPaths(m_port).value_or(std::vector<std::string>{}),
                    m_access.UnjudgedInterfaces() > 0);
        return 1;
    }
    m_events.OnLogicEvent(UnitArrived{m_devicePath, m_link.deviceNumber});
    m_host.BeginWaitCursor();
    if (m_deviceInfo.QueryDeviceInfo()) {
        m_bDeviceReady = true;
        m_listener.OnUnitReady();
    }
    m_host.EndWaitCursor();
    return 1;
}

int UnitSession::OnDeviceRemoved(std::uintptr_t, std::intptr_t) {
    StopWorkers();
    ResetSessionHandles();
    m_deviceInfo.ResetDeviceInfo();
    m_bDeviceReady = false;
    m_events.OnLogicEvent(AtUnitRemoved());
    BeginArrivalDetection();
    m_events.OnLogicEvent(UnitRemoved{});
    m_listener.OnUnitRemoved();
    return 1;
}

void UnitSession::StopWorkers() {
    if (m_pollerChannel) {
        m_pollerChannel->Stop();
        m_pollerChannel.reset();
    }
    if (!m_hPollerThread.IsInvalid()) {
        m_hPollerThread.WaitAndRelease(m_services.timing.stopTimeout);
    }
    bool watcherEnded = true;
    if (m_watcherChannel) {
        m_watcherChannel->Stop();
        m_watcherChannel.reset();
    }
    if (!m_hWatcherThread.IsInvalid()) {
        if (m_hWatcherStopEvent != INVALID_PORT_HANDLE) {
            m_port.SetEvent(m_hWatcherStopEvent);
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
}

} // namespace knot::logic
