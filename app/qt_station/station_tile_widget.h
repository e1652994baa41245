// One slot's tile of the station window: its state in large bold words on the state's colour,
// the slot, the unit, the bar while writing, the seconds left or the cause, the identity rows.
#pragma once

#include "station_tiles.h"

#include <QColor>
#include <QFrame>

#include <array>

class QLabel;
class QProgressBar;

namespace knot::qt {
using namespace knot::station;

// The colours of a tile's state: its background, its texts, and its bar's groove and fill.
struct TileColours {
    QColor background;
    QColor text;
    QColor groove;
    QColor fill;
};
TileColours TileColoursOf(TileColour colour);

class CStationTileWidget : public QFrame {
    Q_OBJECT

  public:
    explicit CStationTileWidget(QWidget* parent);
    void ShowTile(const Tile& tile);

  private:
    void Paint(TileColour colour);

    QLabel* m_slot = nullptr;
    QLabel* m_unit = nullptr;
    QLabel* m_headline = nullptr;
    QLabel* m_detail = nullptr;
    QProgressBar* m_progress = nullptr;
    std::array<QLabel*, IDENTITY_ROW_COUNT> m_identity{};
};

} // namespace knot::qt
