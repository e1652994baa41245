#include "window_dpi.h"

namespace {

// The address of `name` in user32, as `Function`, or nullptr where this Windows has no such call.
template <class Function> Function User32Call(const char* name) {
    const FARPROC address = GetProcAddress(GetModuleHandleW(L"user32.dll"), name);
    // A function of no arguments is the type every function pointer converts through.
    return reinterpret_cast<Function>(reinterpret_cast<void (*)()>(address));
}

} // namespace

UINT WindowDpi(HWND window) {
    static const auto dpiForWindow = User32Call<decltype(&GetDpiForWindow)>("GetDpiForWindow");
    if (dpiForWindow != nullptr) {
        const UINT dpi = dpiForWindow(window);
        if (dpi != 0) {
            return dpi;
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
