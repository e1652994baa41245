#include "tile_grid.h"

#include "logic_events.h"
#include "window_dpi.h"

#include <algorithm>

namespace knot::win32 {
namespace {

constexpr int kWidthPerHeight = 2; // a tile's lines fill about twice its height in width

// At 96 DPI a tile of this size draws its texts at these sizes; larger and smaller tiles scale
// them, in steps of 5 %.
constexpr int kTileWidth = 440;
constexpr int kSlotFont = 20;
constexpr int kHeadlineFont = 30;
constexpr int kBodyFont = 16;
constexpr int kTilePadding = 12;
constexpr int kBarHeight = 16;
constexpr int kSmallestPercent = 75; // body text of 12 pixels at 96 DPI: 9 points
constexpr int kLargestPercent = 250;
constexpr int kPercentStep = 5;
// The longest headline ("committed — keep it plugged in") is about this many character heights
// wide in the bold message font.
constexpr int kLongestHeadlineEms = 17;

// A line of a font of `pixels` character height: its ascent and descent with the leading the
// message fonts (Segoe UI, Tahoma) add, at most a third.
int LineOf(int pixels) {
    return (pixels * 4 + 2) / 3;
}

TileMetrics MetricsAt(int percent, UINT dpi, bool oneIdentityLine) {
    const auto size = [&](int pixels) { return ScaleToDpi(MulDiv(pixels, percent, 100), dpi); };
    return {percent,         size(kSlotFont),    size(kHeadlineFont),
            size(kBodyFont), size(kTilePadding), size(kBarHeight),
            oneIdentityLine};
}

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

int TileLinesHeight(const TileMetrics& metrics, int width) {
    const int gap = metrics.padding / 2;
    const int identityLines = metrics.oneIdentityLine ? 1 : knot::logic::IDENTITY_ROW_COUNT;
    const int headlineLines =
        kLongestHeadlineEms * metrics.headlineFont > width - 2 * metrics.padding ? 2 : 1;
    return gap + LineOf(metrics.slotFont) + gap + headlineLines * LineOf(metrics.headlineFont) +
           gap + metrics.barHeight + gap + LineOf(metrics.bodyFont) + gap +
           identityLines * LineOf(metrics.bodyFont) + gap;
}

TileMetrics TileMetricsFor(int width, int height, UINT dpi) {
    // A headline of two lines at most: the sizes grow no faster than the tile's width.
    const int byWidth = MulDiv(width, 100, ScaleToDpi(kTileWidth, dpi));
    int percent =
        std::clamp(byWidth / kPercentStep * kPercentStep, kSmallestPercent, kLargestPercent);
    for (; percent > kSmallestPercent; percent -= kPercentStep) {
        if (TileLinesHeight(MetricsAt(percent, dpi, false), width) <= height) {
            return MetricsAt(percent, dpi, false);
        }
    }
    const TileMetrics smallest = MetricsAt(kSmallestPercent, dpi, false);
    return TileLinesHeight(smallest, width) <= height ? smallest
                                                      : MetricsAt(kSmallestPercent, dpi, true);
}

} // namespace knot::win32
