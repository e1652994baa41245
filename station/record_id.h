// The unique id each run record carries (recordId), by which the line's database keeps every
// record once however often it is shipped.
#pragma once

#include <string>

namespace knot::station {
// A new id: 122 random bits from the system's random source, written as a version-4 UUID
// ("3f0c1e7a-9b2d-4c51-8e6f-0a1b2c3d4e5f").
std::string NewRecordId();

} // namespace knot::station
