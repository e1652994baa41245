// Every JSON text knot-fdt prints or appends to a report comes from here. Paths, file names and
// a unit's answers need not be UTF-8: such bytes become U+FFFD, so the text stays valid JSON and
// writing it never throws.
#pragma once

#include <nlohmann/json.hpp>

#include <string>

namespace knot::station {
// One line, no line end: a record, a summary, a lane's end, a refusal.
std::string DumpLine(const nlohmann::ordered_json& json);
// Indented by two, for a person to read: the one answer of inspect, list, info or flash --json.
std::string DumpIndented(const nlohmann::ordered_json& json);

} // namespace knot::station
