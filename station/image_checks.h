// What the operator is told about a loaded image before anything uses it.
#pragma once

#include "srecord_loader.h"

#include <string>

namespace knot::station {
using namespace knot::core;

// "wrong checksum in the records on lines 3, 9": the lines of the records with a wrong checksum
// (the loader takes them), the first 20 by number.
std::string ChecksumLinesText(const LoadResult& result);
// The warning of an image taken with such records, named `name`; "" when it has none.
std::string ChecksumWarning(const std::string& name, const LoadResult& result);

} // namespace knot::station
