#include "window_dpi.h"

namespace knot::win32 {
namespace {

// The address of `name` in `module`, as `Function`, or nullptr where this Windows has no such call.
template <class Function> Function LookUp(HMODULE module, const char* name) {
    const FARPROC address = module != nullptr ? GetProcAddress(module, name) : nullptr;
    // A function of no arguments is the type every function pointer converts through.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

template <class Function> Function User32Call(const char* name) {
    return LookUp<Function>(GetModuleHandleW(L"user32.dll"), name);
}

// shcore.dll from the system folder (a Windows before 8.1 has none).
HMODULE ShellScaling() {
    wchar_t path[MAX_PATH];
    constexpr wchar_t name[] = L"\\shcore.dll";
    const UINT length = GetSystemDirectoryW(path, MAX_PATH);
    if (length == 0 || length + ARRAYSIZE(name) > MAX_PATH) {
        return nullptr;
    }
    lstrcpyW(path + length, name);
    return LoadLibraryW(path);
}

} // namespace

const DpiCalls& SystemDpiCalls() {
    static const DpiCalls calls{
        User32Call<decltype(DpiCalls::dpiForWindow)>("GetDpiForWindow"),
        LookUp<decltype(DpiCalls::dpiForMonitor)>(ShellScaling(), "GetDpiForMonitor"),
    };
    return calls;
}

UINT WindowDpi(HWND window, const DpiCalls& calls) {
    if (calls.dpiForWindow != nullptr) {
        const UINT dpi = calls.dpiForWindow(window);
        if (dpi != 0) {
            return dpi;
        }
    }
    if (calls.dpiForMonitor != nullptr) {
        UINT dpiX = 0;
        UINT dpiY = 0;
        const HMONITOR monitor = MonitorFromWindow(window, MONITOR_DEFAULTTONEAREST);
        if (SUCCEEDED(calls.dpiForMonitor(monitor, MDT_EFFECTIVE_DPI, &dpiX, &dpiY)) && dpiY != 0) {
            return dpiY;
        }
    }
    HDC dc = GetDC(window);
    const int dpi = GetDeviceCaps(dc, LOGPIXELSY);
    ReleaseDC(window, dc);
    return dpi > 0 ? static_cast<UINT>(dpi) : USER_DEFAULT_SCREEN_DPI;
}

int ScaleToDpi(int pixels, UINT dpi) {
    return MulDiv(pixels, static_cast<int>(dpi), USER_DEFAULT_SCREEN_DPI);
}

int LargeIconSize(UINT dpi) {
    static const auto metricsForDpi =
        User32Call<decltype(&GetSystemMetricsForDpi)>("GetSystemMetricsForDpi");
    // Without per-monitor metrics the window's DPI is the screen's, which the plain call uses.
    return metricsForDpi != nullptr ? metricsForDpi(SM_CXICON, dpi) : GetSystemMetrics(SM_CXICON);
}

void KeepDialogFromRescaling(HWND dialog) {
    static const auto setBehavior =
        User32Call<decltype(&SetDialogDpiChangeBehavior)>("SetDialogDpiChangeBehavior");
    if (setBehavior != nullptr) {
        setBehavior(dialog, DDC_DISABLE_ALL, DDC_DISABLE_ALL);
    }
}

} // namespace knot::win32
