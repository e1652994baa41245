#include "program_icons.h"

namespace knot::qt {
QIcon LargeIcon() {
    QIcon icon;
    icon.addFile(QStringLiteral(":/knot/icon_large.png"), QSize(32, 32));
    icon.addFile(QStringLiteral(":/knot/icon_small.png"), QSize(16, 16));
    return icon;
}

} // namespace knot::qt
