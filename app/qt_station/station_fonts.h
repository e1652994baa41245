// The station window's larger and bolder faces, each a multiple of the window's own font, so
// that every text grows with the display's scale and the system's font size.
#pragma once

#include <QFont>

namespace knot::qt {
QFont ScaledFont(const QFont& base, double scale, bool bold);

} // namespace knot::qt
