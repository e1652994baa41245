#include "tile_grid.h"

#include <algorithm>

namespace knot::win32 {
namespace {

constexpr int kWidthPerHeight = 2; // a tile's lines fill about twice its height in width

// Each tile's size along one side when `cells` of them share `length` with gaps between.
int CellLength(int length, int cells, int gap) {
    return std::max(0, (length - (cells - 1) * gap) / cells);
}

} // namespace

TileGrid GridFor(std::size_t count, int width, int height, int gap) {
    TileGrid best;
    int bestSize = -1;
    const int tiles = static_cast<int>(std::max<std::size_t>(count, 1));
    for (int columns = 1; columns <= tiles; ++columns) {
        const int rows = (tiles + columns - 1) / columns;
        const int size = std::min(CellLength(width, columns, gap) / kWidthPerHeight,
                                  CellLength(height, rows, gap));
        if (size > bestSize) { // on a tie the grid with fewer columns stays
            best = {columns, rows};
            bestSize = size;
        }
    }
    return best;
}

std::vector<RECT> TileRects(std::size_t count, const RECT& area, int gap) {
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const TileGrid grid = GridFor(count, width, height, gap);
    const int tileWidth = CellLength(width, grid.columns, gap);
    const int tileHeight = CellLength(height, grid.rows, gap);
    std::vector<RECT> rects;
    for (std::size_t index = 0; index < count; ++index) {
        const int column = static_cast<int>(index) % grid.columns;
        const int row = static_cast<int>(index) / grid.columns;
        const int left = area.left + column * (tileWidth + gap);
        const int top = area.top + row * (tileHeight + gap);
        rects.push_back({left, top, left + tileWidth, top + tileHeight});
    }
    return rects;
}

} // namespace knot::win32
