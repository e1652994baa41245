// The model's menu bar, built from its profile when the window starts: the profile is the one
// place that holds the menus' texts and command ids.
#pragma once

#include "windows_headers.h"

namespace knot::core {
struct VariantProfile;
} // namespace knot::core

namespace knot::win32 {
using namespace knot::core;

// A new menu bar (owned by the window it is given to), or nullptr when it cannot be made.
HMENU CreateMenuBar(const VariantProfile& profile);

} // namespace knot::win32
