// The identity rows as knot-fdt prints them: the unit's bytes made safe for a terminal.
#pragma once

#include "logic_events.h"

#include <nlohmann/json.hpp>

#include <string>

namespace knot::cli {
using namespace knot::logic;

// `value` with every byte outside printable ASCII shown as '?'.
std::string PrintableIdentity(const std::string& value);
// The three rows as "label  value" lines on standard output.
void PrintIdentityRows(const IdentityValues& values);
// The three rows as a JSON object keyed by label.
nlohmann::ordered_json IdentityJson(const IdentityValues& values);

} // namespace knot::cli
