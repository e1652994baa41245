#include "json_output.h"

namespace knot::station {
namespace {

std::string Dump(const nlohmann::ordered_json& json, int indent) {
    // Control characters are escaped and bytes that are not UTF-8 replaced: the text is one
    // valid line whatever a path or a unit held.
    return json.dump(indent, ' ', false, nlohmann::ordered_json::error_handler_t::replace);
}

} // namespace

std::string DumpLine(const nlohmann::ordered_json& json) {
    return Dump(json, -1);
}

std::string DumpIndented(const nlohmann::ordered_json& json) {
    return Dump(json, 2);
}

} // namespace knot::station
