// The station window's fonts: the system's message font face (Segoe UI on Windows 7 and later) at
// the pixel heights the window asks for, made again whenever its DPI or its tiles' size changes.
#pragma once

#include "windows_headers.h"

namespace knot::win32 {

// One font, deleted with the object or when it is made again.
class ScaledFont {
  public:
    ScaledFont() = default;
    ~ScaledFont();
    ScaledFont(const ScaledFont&) = delete;
    ScaledFont& operator=(const ScaledFont&) = delete;

    // The message face with a character height of `pixels`, bold or not.
    void Make(int pixels, bool bold);
    HFONT Get() const { return m_font; }

  private:
    HFONT m_font = nullptr;
};

// The height of one line of `font` in pixels.
int LineHeight(HWND window, HFONT font);

} // namespace knot::win32
