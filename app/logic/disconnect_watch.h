// Noticing that an open unit was unplugged: the disconnect watcher's body, which waits on the
// driver's named event (or, without one, asks the setup service whether the unit's interface is
// still there) until its channel is stopped, and a watch a lane holds for as long as it writes
// its unit. The window's session starts the same body as its watcher thread.
#pragma once

#include "driver_port.h"
#include "worker_channel.h"

#include <atomic>
#include <chrono>
#include <memory>
#include <string>
#include <thread>

namespace knot::device {
class UnitLink;
} // namespace knot::device

namespace knot::logic {
using namespace knot::device;

// Waits for the unit at `devicePath` to go and then tells `channel` (its one and last post of
// WM_DEVICE_REMOVED). `named` is the driver's disconnect event, opened before the unit could
// vanish (INVALID_PORT_HANDLE when it did not open); the watcher closes it. It returns early
// when `stopEvent` is set or the channel is stopped.
void DisconnectWatcherProc(DriverPort& port, WorkerChannel& channel, PortHandle named,
                           PortHandle stopEvent, const std::string& devicePath,
                           std::chrono::milliseconds presenceInterval);

// A watcher thread over the unit open on a link, for as long as the watch lives.
class DisconnectWatch {
  public:
    // Starts watching the unit now open on `link`, whose port must outlive the watch.
    DisconnectWatch(UnitLink& link, std::chrono::milliseconds presenceInterval);
    // Stops the watcher and waits for it.
    ~DisconnectWatch();
    DisconnectWatch(const DisconnectWatch&) = delete;
    DisconnectWatch& operator=(const DisconnectWatch&) = delete;

    // Whether the unit was seen to go.
    bool Removed() const { return m_removed; }

  private:
    DriverPort& m_port;
    std::atomic<bool> m_removed{false};
    WorkerChannel m_channel;
    PortHandle m_stopEvent = INVALID_PORT_HANDLE;
    std::thread m_thread;
};

} // namespace knot::logic
