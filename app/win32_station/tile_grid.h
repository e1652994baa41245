// Where the station window puts its tiles and how large it draws them: the grid of columns and
// rows that gives each tile the most room for its lines in the area left between the header and
// the tally, and the sizes of a tile's texts that fit its lines into it.
#pragma once

#include "windows_headers.h"

#include <cstddef>
#include <vector>

namespace knot::win32 {

struct TileGrid {
    int columns = 1;
    int rows = 1;
};

// The grid for `count` tiles in `width` x `height` pixels, `gap` pixels apart. A tile's lines
// need about twice as much width as height: of the grids, the one whose tiles are largest by
// that measure.
TileGrid GridFor(std::size_t count, int width, int height, int gap);

// The `count` tiles' rectangles in `area`, row by row.
std::vector<RECT> TileRects(std::size_t count, const RECT& area, int gap);

// The pixel sizes a tile draws with.
struct TileMetrics {
    int percent = 100; // of the sizes at 96 DPI of a tile of 440 x 220 pixels
    int slotFont = 0;  // character heights
    int headlineFont = 0;
    int bodyFont = 0;
    int padding = 0;
    int barHeight = 0;
    bool oneIdentityLine = false; // the identity's values on one line, without their labels
    bool operator==(const TileMetrics&) const = default;
};

// The largest sizes whose lines fit a tile of `width` x `height` pixels at `dpi`, within what
// stays readable from a step away (body text of 9 points at least) and what looks sane (no
// more than 2.5 times the sizes at 96 DPI). Where even the smallest sizes do not fit, the
// identity's three rows become one line.
TileMetrics TileMetricsFor(int width, int height, UINT dpi);
// The height that the lines of a tile `width` pixels wide take at `metrics`: the slot, the
// longest headline (on two lines where one is too narrow for it), the bar, a line of detail and
// the identity, with the padding between them.
int TileLinesHeight(const TileMetrics& metrics, int width);

} // namespace knot::win32
