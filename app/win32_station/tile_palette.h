// The tiles' colours: each TileColour as a background and the text drawn on it, chosen so that
// the state reads from a step away and every text keeps a contrast of at least 4.5 to 1.
#pragma once

#include "station_tiles.h"

#include "windows_headers.h"

namespace knot::win32 {
using namespace knot::station;

struct TileInk {
    COLORREF background;
    COLORREF text;
    COLORREF track; // the progress bar's unfilled part; its filled part is the text's colour
};

TileInk InkOf(TileColour colour);

// The contrast ratio of two colours (1 to 21), as the web's accessibility guidelines define it.
double ContrastRatio(COLORREF first, COLORREF second);

} // namespace knot::win32
