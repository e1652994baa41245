// The start-up of KNOT-Q_FDT and KNOT-P_FDT on Windows: reads the "/FILE" switch, runs the main
// window modally and ends.
#pragma once

#include "windows_headers.h"

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::device {
class DriverPort;
} // namespace knot::device

namespace knot::win32 {
using namespace knot::core;
using namespace knot::device;

class CFlashTransferApp {
  public:
    // The start-up over `port`. Returns the program's exit status, 0 once the window has closed.
    int InitInstance(const VariantProfile& profile, DriverPort& port, const wchar_t* commandLine);
};

// Whether `commandLine` (the whole line, program name first, as GetCommandLineW gives it) turns
// the memory dumps on, by the rule of window_commands.h.
bool DumpSwitchGiven(const wchar_t* commandLine);

} // namespace knot::win32
