// Where the station window puts its tiles: the grid of columns and rows that gives each tile the
// most room for its lines in the area left between the header and the tally.
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

} // namespace knot::win32
