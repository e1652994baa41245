// What the operator-facing logic needs from a window: the controls it changes, message boxes, the
// wait cursor, and a thread-safe way to post itself the next step. The Qt window (app/qt), the
// Windows window (app/win32), knot-fdt and the tests each implement it; the logic never touches a
// toolkit type.
#pragma once

#include <cstdint>
#include <string_view>

// The platform's first private window message number (WM_USER).
inline constexpr unsigned WINDOW_MESSAGE_BASE = 0x0400;

// The messages the program posts to its own main window. wParam carries the step index (0 for
// the two device messages); they are handled on the window's thread in the order posted.
enum WindowMessage : unsigned {
    WM_DEVICE_ARRIVED = WINDOW_MESSAGE_BASE + 101,
    WM_DEVICE_REMOVED = WINDOW_MESSAGE_BASE + 102,
    WM_CPU_BLOCK_STEP = WINDOW_MESSAGE_BASE + 104,
    WM_FLASH_BLOCK_STEP = WINDOW_MESSAGE_BASE + 105,
    WM_COMMIT_STEP = WINDOW_MESSAGE_BASE + 106,
};

// The icon of a message box: successes use Information, failures Stop.
enum class MessageIcon { Information, Stop };

// Rows and columns of the identity list.
inline constexpr int IDENTITY_ROW_COUNT = 3;
inline constexpr int IDENTITY_LABEL_COLUMN = 0;
inline constexpr int IDENTITY_VALUE_COLUMN = 1;

class FlashTransferView {
  public:
    virtual ~FlashTransferView() = default;

    // The status line (m_status).
    virtual void SetStatusText(std::string_view text) = 0;
    // The progress bar (m_progress): the range always starts at 0; `maximum` fits 16 bits.
    // A position one above the maximum simply shows a full bar.
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPos(int position) = 0;

    // The Start button (m_start), File > Open and Data > Initialize (the latter has no effect
    // in a model without that command).
    virtual void EnableStart(bool enable) = 0;
    virtual void EnableOpenItem(bool enable) = 0;
    virtual void EnableInitializeItem(bool enable) = 0;

    // The identity list (m_list): remove every row; set the text of one cell, the row being
    // created when it does not exist yet (rows are filled in order 0, 1, 2).
    virtual void ClearIdentityList() = 0;
    virtual void SetIdentityText(int row, int column, std::string_view text) = 0;

    // A message box with one OK button; returns once the operator has closed it. While it is
    // open, posted messages keep being handled (a nested loop), so handlers may be re-entered.
    virtual void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;

    // The wait cursor around long operations on the window's thread.
    virtual void BeginWaitCursor() = 0;
    virtual void EndWaitCursor() = 0;

    // Queues `message` to the window; never waits for it to be handled. Called from the window's
    // thread and from the worker threads, so it must be thread-safe.
    virtual void PostWindowMessage(WindowMessage message, std::uintptr_t wParam) = 0;

    // Raises the window to the top and repaints it at once (what the download does per step).
    virtual void RefreshWindow() = 0;
};
