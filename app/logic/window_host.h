// What the logic needs answered by whoever hosts it (a window, knot-fdt, a test): the wait cursor,
// a thread-safe way to post itself the next step, and the repaint the download asks for per step.
// Everything the operator is shown reaches the host's observers as events (logic_events.h).
#pragma once

#include "window_messages.h"

#include <cstdint>

namespace knot::logic {
class WindowHost {
  public:
    virtual ~WindowHost() = default;

    // The wait cursor around long operations on the window's thread.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Queues `message` to the window; never waits for it to be handled. Called from the window's
    // thread and from the worker threads, so it must be thread-safe.
    virtual void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) = 0;

    // Raises the window to the top and repaints it at once (what the download does per step).
    virtual void RefreshWindow() = 0;
};

} // namespace knot::logic
