// What knot-fdt tells the operator about a loaded image before anything uses it.
#pragma once

#include "srecord_loader.h"

#include <string>

namespace knot::cli {
using namespace knot::core;

// "wrong checksum in the records on lines 3, 9": the lines of the records with a wrong checksum
// (the loader takes them), the first 20 by number.
std::string ChecksumLinesText(const LoadResult& result);
// Warns of them on standard error, when there are any.
void WarnAboutChecksums(const std::string& path, const LoadResult& result);

} // namespace knot::cli
