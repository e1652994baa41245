// The display scale of the native windows. The programs are aware of each monitor's DPI (the
// manifest says so): what the window sizes in pixels itself is given at 96 DPI and scaled to
// the DPI of the monitor the window is on. The calls that tell a window's own DPI are looked up
// when first needed, so that the programs also start on a Windows that lacks them, where the
// screen's DPI holds for every window.
#pragma once

#include "windows_headers.h"

#include <shellscalingapi.h>

namespace knot::win32 {
// The calls that tell a window's DPI, newest first; each is nullptr where Windows lacks it.
struct DpiCalls {
    UINT(WINAPI* dpiForWindow)(HWND); // Windows 10 1607 on: per-monitor awareness version 2
    // Windows 8.1 on (shcore.dll): per-monitor awareness version 1
    HRESULT(WINAPI* dpiForMonitor)(HMONITOR, MONITOR_DPI_TYPE, UINT*, UINT*);
};
// The calls this Windows has, looked up once.
const DpiCalls& SystemDpiCalls();

// The DPI of `window`: its own where the system knows it, else its monitor's, else the screen's.
UINT WindowDpi(HWND window, const DpiCalls& calls = SystemDpiCalls());
// `pixels` at 96 DPI, at `dpi`.
int ScaleToDpi(int pixels, UINT dpi);
// The width and height of a large icon at `dpi`.
int LargeIconSize(UINT dpi);
// Tells the dialog manager to leave `dialog`'s size, layout and fonts alone when its DPI
// changes: the window rescales them itself. Nothing where the system has no such behaviour.
void KeepDialogFromRescaling(HWND dialog);

} // namespace knot::win32
