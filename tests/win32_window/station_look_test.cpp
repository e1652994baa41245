// What keeps the station window readable from a step away: every tile colour's text and bar
// against their ground, the grid that gives the tiles the most room in the window, and the sizes
// of a tile's texts at 96, 144 and 192 DPI.
#include "knot_names.h"

#include "tile_grid.h"
#include "tile_palette.h"
#include "window_dpi.h"

#include <gtest/gtest.h>

namespace {

TEST(StationLookTest, EveryTileColourKeepsItsTextAndBarReadable) {
    for (TileColour colour : {TileColour::Idle, TileColour::Working, TileColour::Hold,
                              TileColour::Pass, TileColour::Fail}) {
        const TileInk ink = InkOf(colour);
        EXPECT_GE(ContrastRatio(ink.text, ink.background), 4.5) << static_cast<int>(colour);
        // The bar's filled part is drawn in the text's colour over its track.
        EXPECT_GE(ContrastRatio(ink.text, ink.track), 3.0) << static_cast<int>(colour);
    }
    EXPECT_NE(InkOf(TileColour::Pass).background, InkOf(TileColour::Fail).background);
}

struct GridCase {
    std::size_t tiles;
    int width;
    int height;
    int columns;
    int rows;
};

// A window of 940 x 430 pixels for its tiles, as at 96 DPI, and a tall one.
const GridCase gridCases[] = {
    {1, 940, 430, 1, 1}, {2, 940, 430, 2, 1}, {3, 940, 430, 2, 2},
    {4, 940, 430, 2, 2}, {6, 940, 430, 3, 2}, {2, 430, 940, 1, 2},
};

TEST(StationLookTest, TilesTakeTheGridThatGivesEachTheMostRoom) {
    for (const GridCase& c : gridCases) {
        const TileGrid grid = GridFor(c.tiles, c.width, c.height, 8);
        EXPECT_EQ(grid.columns, c.columns) << c.tiles << " tiles in " << c.width << "x" << c.height;
        EXPECT_EQ(grid.rows, c.rows) << c.tiles << " tiles in " << c.width << "x" << c.height;
    }
}

struct SizeCase {
    UINT dpi;
    int width; // a tile's pixels
    int height;
    bool roomy; // every line fits with the identity's three rows
};

// Four tiles in the window's first size: at 96 DPI, at 144 DPI on a 1920 x 1080 monitor and at
// 192 DPI on a 3840 x 2160 one; then tiles squeezed by a small window at each DPI.
const SizeCase sizeCases[] = {
    {96, 466, 226, true},  {144, 704, 272, true},  {192, 940, 440, true},
    {96, 300, 120, false}, {144, 450, 180, false}, {192, 600, 240, false},
};

TEST(StationLookTest, TileTextsStayReadableAndFitAtEachDpi) {
    for (const SizeCase& c : sizeCases) {
        const TileMetrics metrics = TileMetricsFor(c.width, c.height, c.dpi);
        const std::string where = std::to_string(c.width) + "x" + std::to_string(c.height) +
                                  " at " + std::to_string(c.dpi) + " DPI";
        // Body text of 9 points at least; the state twice as large as the rows below it.
        EXPECT_GE(metrics.bodyFont, ScaleToDpi(12, c.dpi)) << where;
        EXPECT_GE(metrics.headlineFont * 2, metrics.bodyFont * 3) << where;
        EXPECT_GT(metrics.slotFont, metrics.bodyFont) << where;
        EXPECT_EQ(metrics.oneIdentityLine, !c.roomy) << where;
        if (c.roomy) {
            EXPECT_LE(TileLinesHeight(metrics, c.width), c.height) << where;
        }
    }
}

TEST(StationLookTest, LargerTilesNeverGetSmallerTexts) {
    for (UINT dpi : {96u, 144u, 192u}) {
        int body = 0;
        for (int height = 100; height <= 1000; height += 20) {
            const TileMetrics metrics = TileMetricsFor(height * 2, height, dpi);
            EXPECT_GE(metrics.bodyFont, body) << height << " pixels high at " << dpi << " DPI";
            body = metrics.bodyFont;
        }
    }
}

} // namespace
