// One slot's tile in the station window, large enough to read from a step away: a child window
// painted in its state's colour with the slot and the unit, the state in big bold words, a bar
// while the unit is written, the detail (seconds left, where and why it failed) and the unit's
// identity rows. Its window text says the slot, the state and the detail in one line.
#pragma once

#include "station_tiles.h"

#include "windows_headers.h"

namespace knot::win32 {
using namespace knot::station;

// What every tile draws with, sized by the window for the tiles' size and DPI.
struct TileLook {
    HFONT slot = nullptr;         // the slot's name
    HFONT headline = nullptr;     // the state in words
    HFONT body = nullptr;         // the unit, the detail and the identity rows' labels
    HFONT value = nullptr;        // the identity rows' values: the body's size, bold
    int padding = 12;             // pixels between the tile's edge and its lines, and between lines
    int barHeight = 16;           // pixels
    bool oneIdentityLine = false; // the identity's values on one line, without their labels
};

class CStationTile {
  public:
    // Tile `id` in `parent`; `look` must outlive the tile.
    CStationTile(HWND parent, int id, const TileLook& look);
    ~CStationTile();
    CStationTile(const CStationTile&) = delete;
    CStationTile& operator=(const CStationTile&) = delete;

    // Shows `tile`; painted again only when it differs from what is shown.
    void Show(const Tile& tile);
    void Place(const RECT& rect);
    // The look changed: painted again.
    void Repaint();
    HWND GetSafeHwnd() const { return m_hWnd; }

  private:
    static LRESULT CALLBACK WindowProc(HWND hWnd, UINT message, WPARAM wParam, LPARAM lParam);
    void OnPaint();
    void Draw(HDC dc, const RECT& client) const;
    // The headline, the bar and the detail, centred in `middle`.
    void DrawMiddle(HDC dc, const RECT& middle) const;
    void DrawIdentity(HDC dc, const RECT& rows) const;

    HWND m_hWnd = nullptr;
    const TileLook& m_look;
    Tile m_tile;
    bool m_shown = false; // m_tile was shown once
};

// The text of a tile's window, for the operator's screen reader and for tests: "slot: headline",
// then the detail when there is one.
std::wstring TileText(const Tile& tile);

} // namespace knot::win32
