// What keeps the station window readable from a step away: every tile colour's text and bar
// against their ground, and the grid that gives the tiles the most room in the window.
#include "knot_names.h"

#include "tile_grid.h"
#include "tile_palette.h"

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

} // namespace
