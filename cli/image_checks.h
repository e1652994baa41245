// What knot-fdt tells the operator about a loaded image before anything uses it.
#pragma once

#include "srecord_loader.h"

#include <string>

// Warns on standard error of every record with a wrong checksum (the loader takes them).
void WarnAboutChecksums(const std::string& path, const LoadResult& result);
