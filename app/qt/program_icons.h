// The program's icons: the model's large icon (resource 128) with the shared small one.
// Each program carries its own model's picture under the same resource names.
#pragma once

#include <QIcon>

namespace knot::qt {
QIcon LargeIcon();

} // namespace knot::qt
