// The model's menu bar, built from its profile when the window starts: the profile is the one
// place that holds the menus' texts and command ids.
#pragma once

#include "windows_headers.h"

struct VariantProfile;

// A new menu bar (owned by the window it is given to), or nullptr when it cannot be made.
HMENU CreateMenuBar(const VariantProfile& profile);
