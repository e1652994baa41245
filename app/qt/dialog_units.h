// The dialog font of the window templates and the conversion of dialog units to pixels.
// A dialog unit is a quarter of the font's average character width, or an eighth of its height.
#pragma once

#include <QFont>
#include <QRect>

namespace knot::qt {
// "MS UI Gothic" at 9 points where the system has it, otherwise the nearest face it offers.
QFont DialogFont();

class DialogUnits {
  public:
    explicit DialogUnits(const QFont& font);
    // Base units given directly: the average character width and the height, in pixels.
    DialogUnits(int baseX, int baseY) : m_baseX(baseX), m_baseY(baseY) {}

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QRect ToPixels(int x, int y, int width, int height) const;
    QSize ToPixels(int width, int height) const;

    int baseX() const { return m_baseX; }
    int baseY() const { return m_baseY; }

  private:
    int m_baseX; // average character width in pixels
    int m_baseY; // character height in pixels
};

} // namespace knot::qt
