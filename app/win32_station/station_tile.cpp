#include "station_tile.h"

#include "operator_texts.h"
#include "tile_palette.h"
#include "win32_text.h"

#include <algorithm>
#include <string>

namespace knot::win32 {
using namespace knot::logic;

namespace {

constexpr wchar_t kTileClass[] = L"KnotStationTile";

ATOM RegisterTileClass() {
    static const ATOM atom = [] {
        WNDCLASSEXW tileClass{};
        tileClass.cbSize = sizeof(tileClass);
        tileClass.lpfnWndProc = DefWindowProcW; // each tile sets its own once created
        tileClass.hInstance = GetModuleHandleW(nullptr);
        tileClass.hCursor = LoadCursorW(nullptr, IDC_ARROW);
        tileClass.lpszClassName = kTileClass;
        return RegisterClassExW(&tileClass);
    }();
    return atom;
}

// Draws `text` in `rect` with `format`; returns the height it took.
int DrawLine(HDC dc, HFONT font, const std::wstring& text, RECT rect, UINT format) {
    SelectObject(dc, font);
    return DrawTextW(dc, text.c_str(), static_cast<int>(text.size()), &rect, format | DT_NOPREFIX);
}

// The height `text` needs in `width` pixels, broken into lines at words.
int WrappedHeight(HDC dc, HFONT font, const std::wstring& text, int width) {
    if (text.empty()) {
        return 0;
    }
    RECT rect{0, 0, width, 0};
    return DrawLine(dc, font, text, rect, DT_CENTER | DT_WORDBREAK | DT_CALCRECT);
}

int FontHeight(HDC dc, HFONT font) {
    SelectObject(dc, font);
    TEXTMETRICW metrics{};
    GetTextMetricsW(dc, &metrics);
    return metrics.tmHeight;
}

void FillColour(HDC dc, const RECT& rect, COLORREF colour) {
    SetBkColor(dc, colour);
    ExtTextOutW(dc, 0, 0, ETO_OPAQUE, &rect, nullptr, 0, nullptr); // a fill without a brush
}

} // namespace

std::wstring TileText(const Tile& tile) {
    std::wstring text = WidenText(tile.slot) + L": " + WidenText(tile.headline);
    if (!tile.detail.empty()) {
        text += L" \u2014 " + WidenText(tile.detail);
    }
    return text;
}

CStationTile::CStationTile(HWND parent, int id, const TileLook& look) : m_look(look) {
    RegisterTileClass();
    m_hWnd = CreateWindowExW(0, kTileClass, L"", WS_CHILD | WS_VISIBLE, 0, 0, 0, 0, parent,
                             reinterpret_cast<HMENU>(static_cast<INT_PTR>(id)),
                             GetModuleHandleW(nullptr), nullptr);
    if (m_hWnd != nullptr) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(this));
        SetWindowLongPtrW(m_hWnd, GWLP_WNDPROC, reinterpret_cast<LONG_PTR>(WindowProc));
    }
}

CStationTile::~CStationTile() {
    if (m_hWnd != nullptr && IsWindow(m_hWnd)) {
        SetWindowLongPtrW(m_hWnd, GWLP_USERDATA, 0);
        DestroyWindow(m_hWnd);
    }
}

LRESULT CALLBACK CStationTile::WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam) {
    auto* self = reinterpret_cast<CStationTile*>(GetWindowLongPtrW(hWnd, GWLP_USERDATA));
    if (self != nullptr) {
        switch (message) {
        case WM_PAINT:
            self->OnPaint();
            return 0;
        case WM_ERASEBKGND:
            return 1; // the paint covers every pixel
        case WM_NCDESTROY:
            SetWindowLongPtrW(hWnd, GWLP_USERDATA, 0);
            self->m_hWnd = nullptr;
            break;
        default:
            break;
        }
    }
    return DefWindowProcW(hWnd, message, wParam, lParam);
}

void CStationTile::Show(const Tile& tile) {
    if (m_shown && tile.slot == m_tile.slot && tile.unit == m_tile.unit &&
        tile.identity == m_tile.identity && tile.colour == m_tile.colour &&
        tile.headline == m_tile.headline && tile.detail == m_tile.detail &&
        tile.percent == m_tile.percent) {
        return; // the desk shows every tile whenever one changes
    }
    m_tile = tile;
    m_shown = true;
    SetWindowTextW(m_hWnd, TileText(tile).c_str());
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CStationTile::Place(const RECT& rect) {
    SetWindowPos(m_hWnd, nullptr, rect.left, rect.top, rect.right - rect.left,
                 rect.bottom - rect.top, SWP_NOZORDER | SWP_NOACTIVATE);
}

void CStationTile::Repaint() {
    InvalidateRect(m_hWnd, nullptr, FALSE);
}

void CStationTile::OnPaint() {
    PAINTSTRUCT paint{};
    HDC dc = BeginPaint(m_hWnd, &paint);
    RECT client{};
    GetClientRect(m_hWnd, &client);
    // Drawn off screen first, so that a tile redrawn ten times a second does not flicker.
    HDC memory = CreateCompatibleDC(dc);
    HBITMAP bitmap = CreateCompatibleBitmap(dc, client.right, client.bottom);
    HGDIOBJ previousBitmap = SelectObject(memory, bitmap);
    HGDIOBJ previousFont = SelectObject(memory, m_look.body);
    Draw(memory, client);
    BitBlt(dc, 0, 0, client.right, client.bottom, memory, 0, 0, SRCCOPY);
    SelectObject(memory, previousFont);
    SelectObject(memory, previousBitmap);
    DeleteObject(bitmap);
    DeleteDC(memory);
    EndPaint(m_hWnd, &paint);
}

void CStationTile::Draw(HDC dc, const RECT& client) const {
    const TileInk ink = InkOf(m_tile.colour);
    FillColour(dc, client, ink.background);
    SetBkMode(dc, TRANSPARENT);
    SetTextColor(dc, ink.text);
    const int pad = m_look.padding;
    RECT inner{client.left + pad, client.top + pad / 2, client.right - pad,
               client.bottom - pad / 2};

    // The slot on the left, the unit on the right of the first line.
    const std::wstring unit = m_tile.unit ? L"unit " + std::to_wstring(*m_tile.unit) : L"";
    RECT unitRect = inner;
    SelectObject(dc, m_look.body);
    DrawTextW(dc, unit.c_str(), -1, &unitRect, DT_CALCRECT | DT_SINGLELINE | DT_NOPREFIX);
    const int slotHeight = FontHeight(dc, m_look.slot);
    RECT slotRect{inner.left, inner.top, inner.right - (unitRect.right - unitRect.left) - pad,
                  inner.top + slotHeight};
    DrawLine(dc, m_look.slot, WidenText(m_tile.slot), slotRect,
             DT_LEFT | DT_SINGLELINE | DT_VCENTER | DT_END_ELLIPSIS);
    RECT unitLine{inner.left, inner.top, inner.right, inner.top + slotHeight};
    DrawLine(dc, m_look.body, unit, unitLine, DT_RIGHT | DT_SINGLELINE | DT_VCENTER);

    // The identity rows at the bottom, the state in the middle.
    const int rowsHeight =
        (m_look.oneIdentityLine ? 1 : IDENTITY_ROW_COUNT) * FontHeight(dc, m_look.body);
    const RECT rows{inner.left, inner.bottom - rowsHeight, inner.right, inner.bottom};
    DrawIdentity(dc, rows);
    DrawMiddle(dc, {inner.left, slotRect.bottom + pad / 2, inner.right, rows.top - pad / 2});
}

void CStationTile::DrawMiddle(HDC dc, const RECT& middle) const {
    const int width = static_cast<int>(middle.right - middle.left);
    const std::wstring headline = WidenText(m_tile.headline);
    const std::wstring detail = WidenText(m_tile.detail);
    const bool bar = m_tile.percent >= 0;
    const int gap = m_look.padding / 2;
    const int headlineHeight = WrappedHeight(dc, m_look.headline, headline, width);
    const int detailHeight = WrappedHeight(dc, m_look.body, detail, width);
    const int total = headlineHeight + (bar ? gap + m_look.barHeight : 0) +
                      (detailHeight > 0 ? gap + detailHeight : 0);
    // Centred when there is room; otherwise from the top, the detail clipped first.
    int y = static_cast<int>(middle.top) +
            std::max(0, static_cast<int>(middle.bottom - middle.top) - total) / 2;
    const HRGN clip = CreateRectRgnIndirect(&middle);
    SelectClipRgn(dc, clip);
    DrawLine(dc, m_look.headline, headline, {middle.left, y, middle.right, y + headlineHeight},
             DT_CENTER | DT_WORDBREAK);
    y += headlineHeight;
    if (bar) {
        const TileInk ink = InkOf(m_tile.colour);
        y += gap;
        const RECT track{middle.left, y, middle.right, y + m_look.barHeight};
        FillColour(dc, track, ink.track);
        const RECT filled{track.left, track.top, track.left + width * m_tile.percent / 100,
                          track.bottom};
        FillColour(dc, filled, ink.text);
        y += m_look.barHeight;
    }
    if (detailHeight > 0) {
        y += gap;
        DrawLine(dc, m_look.body, detail, {middle.left, y, middle.right, y + detailHeight},
                 DT_CENTER | DT_WORDBREAK);
    }
    SelectClipRgn(dc, nullptr);
    DeleteObject(clip);
}

void CStationTile::DrawIdentity(HDC dc, const RECT& rows) const {
    if (m_look.oneIdentityLine) { // a tile too small for the rows: the values, as a record has them
        std::wstring values;
        for (const std::string& value : m_tile.identity) {
            values += (values.empty() ? L"" : L"  ") + WidenText(value);
        }
        DrawLine(dc, m_look.value, values, rows, DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
        return;
    }
    SelectObject(dc, m_look.body);
    int labelWidth = 0;
    for (const char* label : IDENTITY_ROW_LABELS) {
        SIZE size{};
        const std::wstring text = WidenText(label);
        GetTextExtentPoint32W(dc, text.c_str(), static_cast<int>(text.size()), &size);
        labelWidth = std::max(labelWidth, static_cast<int>(size.cx));
    }
    const int rowHeight = (rows.bottom - rows.top) / IDENTITY_ROW_COUNT;
    for (int row = 0; row < IDENTITY_ROW_COUNT; ++row) {
        const int top = rows.top + row * rowHeight;
        DrawLine(dc, m_look.body, WidenText(IDENTITY_ROW_LABELS[row]),
                 {rows.left, top, rows.left + labelWidth, top + rowHeight},
                 DT_LEFT | DT_SINGLELINE);
        // The unit's values are printable ASCII by now: shown as they are.
        DrawLine(dc, m_look.value, WidenText(m_tile.identity[static_cast<std::size_t>(row)]),
                 {rows.left + labelWidth + m_look.padding, top, rows.right, top + rowHeight},
                 DT_LEFT | DT_SINGLELINE | DT_END_ELLIPSIS);
    }
}

} // namespace knot::win32
