// The messages the program posts to its own main window, and one posted message as it waits in a
// queue: the window's internal events, handled on the window's thread in the order posted.
#pragma once

#include <cstdint>

namespace knot::logic {
// The platform's first private window message number (WM_USER).
inline constexpr unsigned WINDOW_MESSAGE_BASE = 0x0400;

// wParam carries the step index (0 for the two device messages).
enum WindowMessage : unsigned {
    WM_DEVICE_ARRIVED = WINDOW_MESSAGE_BASE + 101,
    WM_DEVICE_REMOVED = WINDOW_MESSAGE_BASE + 102,
    WM_CPU_BLOCK_STEP = WINDOW_MESSAGE_BASE + 104,
    WM_FLASH_BLOCK_STEP = WINDOW_MESSAGE_BASE + 105,
    WM_COMMIT_STEP = WINDOW_MESSAGE_BASE + 106,
};

// A posted message with the step index it carries.
struct PostedMessage {
    WindowMessage message;
    std::uintptr_t wParam;
};

} // namespace knot::logic
