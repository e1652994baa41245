#include "station_fonts.h"

namespace knot::qt {
QFont ScaledFont(const QFont& base, double scale, bool bold) {
    QFont font = base;
    if (base.pointSizeF() > 0) {
        font.setPointSizeF(base.pointSizeF() * scale);
    } else {
        font.setPixelSize(static_cast<int>(base.pixelSize() * scale));
    }
    font.setBold(bold);
    return font;
}

} // namespace knot::qt
