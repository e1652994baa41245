// The ids of the main window's controls, in tab order, and of its help command, shared by both
// windows and the command rules (plain defines, so that the resource compiler reads them too).
#pragma once

#define IDC_LIST 1001
#define IDC_START 1003
#define IDC_PROGRESS 1005
#define IDC_STATUS 1006

namespace knot::logic {
// The help command, which the F1 key issues.
#define ID_HELP 57670

} // namespace knot::logic
