// The identity rows as knot-fdt prints them: the unit's bytes made safe for a terminal.
#pragma once

#include "logic_events.h"

namespace knot::cli {
using namespace knot::logic;

// The three rows as "label  value" lines on standard output.
void PrintIdentityRows(const IdentityValues& values);

} // namespace knot::cli
