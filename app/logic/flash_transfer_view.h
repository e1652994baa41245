// The widgets of the main window that the logic's events change (the status line, the bar, the
// identity list, the three commands, message boxes), on top of what the window hosts. The Qt
// window (app/qt) and the Windows window (app/win32) implement it; WindowEventRenderer turns the
// logic's events into these calls, the same for both.
#pragma once

#include "logic_events.h"
#include "window_host.h"

#include <string_view>

namespace knot::logic {
// Columns of the identity list.
inline constexpr int IDENTITY_LABEL_COLUMN = 0;
inline constexpr int IDENTITY_VALUE_COLUMN = 1;

class FlashTransferView : public WindowHost {
  public:
    // The status line.
    virtual void SetStatusText(std::string_view text) = 0;
    // The progress bar: the range always starts at 0; `maximum` fits 16 bits.
    // A position one above the maximum simply shows a full bar.
    virtual void SetProgressRange(int maximum) = 0;
    virtual void SetProgressPos(int position) = 0;

    // The Start button, File > Open and Data > Initialize (the latter has no effect in a model
    // without that command).
    virtual void EnableStart(bool enable) = 0;
    virtual void EnableOpenItem(bool enable) = 0;
    virtual void EnableInitializeItem(bool enable) = 0;

    // The identity list: remove every row; set the text of one cell, the row being created when
    // it does not exist yet (rows are filled in order 0, 1, 2).
    virtual void ClearIdentityList() = 0;
    virtual void SetIdentityText(int row, int column, std::string_view text) = 0;

    // A message box with one OK button; returns once the operator has closed it. While it is
    // open, posted messages keep being handled (a nested loop), so handlers may be re-entered.
    virtual void ShowMessage(std::string_view caption, std::string_view text, MessageIcon icon) = 0;
};

} // namespace knot::logic
