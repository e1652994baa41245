// The session with the unit and its two watchers.
#include "unit_session.h"

#include "disconnect_event.h"
#include "disconnect_watch.h"
#include "interface_survey.h"
#include "unit_link.h"

namespace knot::logic {
using namespace knot::device;

UnitSession::UnitSession(WindowHost& host, UnitLink& link, const LogicServices& services)
    : m_host(host), m_link(link), m_port(link.Port()), m_services(WithDefaults(services)) {}

UnitSession::~UnitSession() {
    StopWorkers();
}

const std::string& UnitSession::DevicePath() const {
    return m_link.DevicePath();
}

void UnitSession::ResetSessionHandles() {
    m_link.Forget();
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

std::shared_ptr<WorkerChannel> UnitSession::NewChannel() {
    return std::make_shared<WorkerChannel>(
        [&host = m_host](WindowMessage message) { host.PostWindowMessage(message, 0); });
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
    auto channel = NewChannel();
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
    if (!m_link.Open()) {
        return false;
    }
    m_hWatcherThread.ReapIfEnded();
    if (m_hWatcherThread.IsInvalid()) {
        StartWatcher();
    }
    return true;
}

void UnitSession::StartWatcher() {
    auto channel = NewChannel();
    // Opened on the window's thread while the unit is open, so that a unit that vanishes before
    // the watcher's first look cannot leave it waiting on a later unit's event of the same name.
    const PortHandle named = m_port.OpenNamedEvent(DisconnectEventName(m_link.Link().deviceNumber));
    if (m_hWatcherThread.Start(
            m_services.startThread,
            [&port = m_port, channel, named, stopEvent = m_hWatcherStopEvent,
             path = m_link.DevicePath(), interval = m_services.timing.presenceInterval] {
                DisconnectWatcherProc(port, *channel, named, stopEvent, path, interval);
            })) {
        m_watcherChannel = std::move(channel);
    } else if (named != INVALID_PORT_HANDLE && named != 0) {
        m_port.CloseEvent(named);
    }
}

bool UnitSession::OnDeviceArrived() {
    if (m_link.IsOpen()) {
        return false; // a session is already open: an arrival left over from before it
    }
    if (!OpenSession()) {
        // Interfaces are present but none qualifies: keep watching, and look again when they
        // change, or after a while when some could not be judged (not opened, or no descriptor
        // read), so that a foreign interface causes no loop of opens.
        StartPoller(PresentPaths(m_port).value_or(std::vector<std::string>{}),
                    m_link.Access().UnjudgedInterfaces() > 0);
        return false;
    }
    return true;
}

void UnitSession::OnDeviceRemoved() {
    StopWorkers();
    ResetSessionHandles();
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
        m_link.Close();
    }
    // A watcher that overran may still wait on the stop event: it keeps it.
    if (m_hWatcherStopEvent != INVALID_PORT_HANDLE && watcherEnded) {
        m_port.CloseEvent(m_hWatcherStopEvent);
    }
    m_hWatcherStopEvent = INVALID_PORT_HANDLE;
}

} // namespace knot::logic
