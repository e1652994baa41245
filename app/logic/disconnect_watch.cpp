// Noticing an unplug.
#include "disconnect_watch.h"

#include "disconnect_event.h"
#include "interface_survey.h"
#include "unit_link.h"

#include <system_error>

namespace knot::logic {
using namespace knot::device;

void DisconnectWatcherProc(DriverPort& port, WorkerChannel& channel, PortHandle named,
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
    // unit's interface is still there.
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

DisconnectWatch::DisconnectWatch(UnitLink& link, std::chrono::milliseconds presenceInterval)
    : m_port(link.Port()), m_channel([this](WindowMessage) { m_removed = true; }),
      m_stopEvent(m_port.CreateStopEvent()) {
    // Opened here, while the unit is open, so that a unit that vanishes before the watcher's
    // first look cannot leave it waiting on a later unit's event of the same name.
    const PortHandle named = m_port.OpenNamedEvent(DisconnectEventName(link.Link().deviceNumber));
    try {
        m_thread = std::thread([this, named, path = link.DevicePath(), presenceInterval] {
            DisconnectWatcherProc(m_port, m_channel, named, m_stopEvent, path, presenceInterval);
        });
    } catch (const std::system_error&) {
        // No thread: the unplug is noticed only by the exchanges that fail.
        if (named != INVALID_PORT_HANDLE && named != 0) {
            m_port.CloseEvent(named);
        }
    }
}

DisconnectWatch::~DisconnectWatch() {
    m_channel.Stop();
    if (m_stopEvent != INVALID_PORT_HANDLE) {
        m_port.SetEvent(m_stopEvent);
    }
    if (m_thread.joinable()) {
        m_thread.join();
    }
    if (m_stopEvent != INVALID_PORT_HANDLE) {
        m_port.CloseEvent(m_stopEvent);
    }
}

} // namespace knot::logic
