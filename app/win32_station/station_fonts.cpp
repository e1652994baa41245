#include "station_fonts.h"

namespace knot::win32 {
namespace {

// The face, pitch and character set of the system's message font; the size is the window's own.
const LOGFONTW& MessageFont() {
    static const LOGFONTW font = [] {
        NONCLIENTMETRICSW metrics{};
        metrics.cbSize = sizeof(metrics);
        LOGFONTW found{};
        if (SystemParametersInfoW(SPI_GETNONCLIENTMETRICS, metrics.cbSize, &metrics, 0)) {
            found = metrics.lfMessageFont;
        } else {
            lstrcpynW(found.lfFaceName, L"Tahoma", LF_FACESIZE); // in every Windows since 2000
        }
        found.lfQuality = CLEARTYPE_QUALITY;
        return found;
    }();
    return font;
}

} // namespace

ScaledFont::~ScaledFont() {
    if (m_font != nullptr) {
        DeleteObject(m_font);
    }
}

void ScaledFont::Make(int pixels, bool bold) {
    LOGFONTW font = MessageFont();
    font.lfHeight = -pixels;
    font.lfWidth = 0;
    font.lfWeight = bold ? FW_BOLD : FW_NORMAL;
    HFONT previous = m_font;
    m_font = CreateFontIndirectW(&font);
    if (previous != nullptr) {
        DeleteObject(previous); // whoever drew with it has been given the new one
    }
}

int LineHeight(HWND window, HFONT font) {
    HDC dc = GetDC(window);
    HGDIOBJ previous = SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    SelectObject(dc, previous);
    ReleaseDC(window, dc);
    return metrics.tmHeight + metrics.tmExternalLeading;
}

} // namespace knot::win32
